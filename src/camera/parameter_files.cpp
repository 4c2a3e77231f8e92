#include "parameter_files.h"

#include "infra/globals.h"
#include "infra/settings.h"
#include "infra/settings_path_rules.h"
#include "infra/trv_log.h"
#include "record/recorder.h"

#include <windows.h>

#include <cstdlib>
#include <initializer_list>

bool gCamShareConfig = false;
uint32_t gCurCamConfigId = 0xFFFFFFFFu;

namespace {

constexpr size_t kNumberChars = 12; // a signed 32-bit decimal number and its terminator

void LogProbe(const char* label, const wchar_t* path, bool found) {
    gLog.Write(label);
    gLog.WriteW(path);
    gLog.Write(" found=");
    LogInt(found ? 1 : 0);
    gLog.Write("\n");
}

bool ComposePath(wchar_t* path, std::initializer_list<const wchar_t*> parts) {
    if (trv::JoinBounded(path, kNameChars, parts)) {
        return true;
    }
    gLog.Write("LoadFile Param File NOT loaded, path longer than 259 characters: ");
    for (const wchar_t* part : parts) {
        gLog.WriteW(part);
    }
    gLog.Write("\n");
    return false;
}

} // namespace

bool ConfigFilePath(uint32_t configId, wchar_t* path) {
    wchar_t number[kNumberChars];
    _itow_s(static_cast<int32_t>(configId), number, kNumberChars, 10);
    return ComposePath(path, {gConfigDir, L"ueyecam_", number, L".ini"});
}

bool SerialFilePath(const wchar_t* serial, wchar_t* path) {
    return ComposePath(path, {gConfigDir, L"ueyecam_", serial, L".ini"});
}

bool DefaultFilePath(wchar_t* path) {
    return ComposePath(path, {gConfigDir, gCamFileName});
}

bool ProbeFile(const wchar_t* path) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(path, &data);
    const bool found =
        search != INVALID_HANDLE_VALUE && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
    RecordProbe(path, found);
    return found;
}

bool LoadParameterFile(MyCam& cam, const wchar_t* path) {
    return is_ParameterFile(cam.m_hCam, ueye::kParameterLoad, const_cast<wchar_t*>(path), 0) == 0;
}

void LogLoadResult(bool loaded, const wchar_t* path) {
    gLog.Write(loaded ? "LoadFile Param File loaded: " : "LoadFile Param File NOT loaded: ");
    gLog.WriteW(path);
    gLog.Write("\n");
}

void RememberConfigId() {
    wchar_t number[kNumberChars];
    _itow_s(static_cast<int32_t>(gCurCamConfigId), number, kNumberChars, 10);
    WriteSettingsString(L"CamShareLast", number);
}

void LoadFile(MyCam& cam, bool openedWithoutSerial, const wchar_t* serial) {
    wchar_t path[kNameChars];
    if (gCamShareConfig && ConfigFilePath(gCurCamConfigId, path)) {
        LogProbe("LoadFile1 file=", path, ProbeFile(path));
        const bool loaded = LoadParameterFile(cam, path);
        LogLoadResult(loaded, path);
        if (loaded) {
            RememberConfigId();
            return;
        }
    }
    if (!openedWithoutSerial && SerialFilePath(serial, path)) {
        LogProbe("LoadFile2 file=", path, ProbeFile(path));
        const bool loaded = LoadParameterFile(cam, path);
        LogLoadResult(loaded, path);
        if (loaded) {
            return;
        }
    }
    if (DefaultFilePath(path)) {
        gLog.Write("LoadFile3: ");
        gLog.WriteW(path);
        gLog.Write("\n");
        LogLoadResult(LoadParameterFile(cam, path), path);
    }
}
