#include "trigger.h"

#include "infra/globals.h"
#include "infra/settings_path_rules.h"
#include "infra/trv_log.h"
#include "record/recorder.h"

#include <windows.h>

namespace {

struct TriggerName {
    int32_t mode;
    const char* name;
};

constexpr TriggerName kTriggerNames[] = {
    {IS_SET_TRIGGER_HI_LO, "IS_SET_TRIGGER_HI_LO"},
    {IS_SET_TRIGGER_LO_HI, "IS_SET_TRIGGER_LO_HI"},
    {IS_SET_TRIGGER_SOFTWARE, "IS_SET_TRIGGER_SOFTWARE"},
    {IS_SET_TRIGGER_PRE_HI_LO, "IS_SET_TRIGGER_PRE_HI_LO"},
    {IS_SET_TRIGGER_PRE_LO_HI, "IS_SET_TRIGGER_PRE_LO_HI"},
};

constexpr uint32_t kStrobeOn = 2;
constexpr uint32_t kStrobeOff = 0;

int32_t Strobe(UeyeHandle hCam, uint32_t value) {
    return is_IO(hCam, ueye::kIoStrobe, &value, sizeof value);
}

} // namespace

void LogTriggerState(UeyeHandle hCam, const wchar_t* label) {
    const int32_t live = is_CaptureVideo(hCam, ueye::kQuery);
    const int32_t current = is_TriggerMode(hCam, ueye::kQuery);
    const int32_t supported = is_TriggerMode(hCam, ueye::kQuerySupportedTrigger);
    gLog.WriteW(label);
    gLog.Write(" live=");
    LogInt(live);
    gLog.Write(" supported trigger=");
    LogInt(supported);
    gLog.Write(" current trigger=");
    LogInt(current);
    gLog.Write("\n");
    for (const TriggerName& t : kTriggerNames) {
        if ((supported & t.mode) == t.mode) {
            gLog.Write("supported=");
            gLog.Write(t.name);
            gLog.Write("\n");
        }
    }
    for (const TriggerName& t : kTriggerNames) {
        if (current == t.mode) {
            gLog.Write("trigger=");
            gLog.Write(t.name);
            gLog.Write("\n");
            return;
        }
    }
    gLog.Write("trigger unknown=");
    LogInt(current);
    gLog.Write("\n");
}

bool MyStrobeEnable(MyCam& cam) {
    if (gFocusType == 3) {
        LogTriggerState(cam.m_hCam, L"UEYE MyStrobeEnable free running");
        return true;
    }
    const int defType = gFocusType == 2 ? 2 : 1;
    gLog.Write("UEYE MyStrobeEnable focusType=");
    LogInt(gFocusType);
    gLog.Write(" defType=");
    LogInt(defType);
    gLog.Write("\n");
    is_StopLiveVideo(cam.m_hCam, ueye::kStopWait);
    wchar_t ini[kNameChars];
    int triggerType = defType;
    if (trv::JoinBounded(ini, kNameChars, {gConfigDir, L"tarvello.ini"})) {
        triggerType = static_cast<int>(GetPrivateProfileIntW(L"video", L"trigger", defType, ini));
        RecordSetting("config", L"video", L"trigger", triggerType);
        gLog.Write("UEYE ini=");
        gLog.WriteW(ini);
    } else {
        // As for a missing file: the default type.
        gLog.Write("UEYE ini path longer than 259 characters: ");
        gLog.WriteW(gConfigDir);
        gLog.Write("tarvello.ini");
    }
    gLog.Write("\n");
    gLog.Write("UEYE triggerType=");
    LogInt(triggerType);
    gLog.Write("\n");
    int32_t result = 0;
    if (triggerType == 2) {
        gLog.Write("UEYE setting trigger HI_LO: 4097\n");
        result = is_TriggerMode(cam.m_hCam, IS_SET_TRIGGER_HI_LO);
    } else if (triggerType == 3) {
        gLog.Write("UEYE setting trigger LO_HI: 4098\n");
        result = is_TriggerMode(cam.m_hCam, IS_SET_TRIGGER_LO_HI);
    } else {
        gLog.Write("UEYE setting strobe out: 2\n");
        result = Strobe(cam.m_hCam, kStrobeOn);
    }
    if (result != 0) {
        gLog.Write("UEYE focus config failed: ");
        LogInt(result);
        gLog.Write("\n");
    } else {
        gLog.Write("UEYE focus config success: 0\n");
    }
    is_CaptureVideo(cam.m_hCam, 0);
    LogTriggerState(cam.m_hCam, L"Trigger after live");
    return true;
}

void MyStrobeDisable(MyCam& cam) {
    gLog.Write("MyStrobeDisable\n");
    LogTriggerState(cam.m_hCam, L"MyStrobeDisable1");
    is_StopLiveVideo(cam.m_hCam, ueye::kStopWait);
    Strobe(cam.m_hCam, kStrobeOff);
    is_TriggerMode(cam.m_hCam, IS_SET_TRIGGER_SOFTWARE);
    is_CaptureVideo(cam.m_hCam, 0);
    LogTriggerState(cam.m_hCam, L"MyStrobeDisable2");
}
