#include "parameter_files.h"

#include "infra/globals.h"
#include "infra/settings.h"
#include "infra/trv_log.h"

#include <windows.h>

bool gCamShareConfig = false;
uint32_t gCurCamConfigId = 0xFFFFFFFFu;

namespace {

void LogProbe(const char* label, const std::wstring& path, bool found) {
    gLog.Write(label);
    gLog.WriteW(path.c_str());
    gLog.Write(" found=");
    LogInt(found ? 1 : 0);
    gLog.Write("\n");
}

} // namespace

std::wstring ConfigFilePath(uint32_t configId) {
    return std::wstring(gConfigDir) + L"ueyecam_" +
           std::to_wstring(static_cast<int32_t>(configId)) + L".ini";
}

std::wstring SerialFilePath(const wchar_t* serial) {
    return std::wstring(gConfigDir) + L"ueyecam_" + serial + L".ini";
}

std::wstring DefaultFilePath() {
    return std::wstring(gConfigDir) + gCamFileName;
}

bool ProbeFile(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(path.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(search);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool LoadParameterFile(MyCam& cam, const std::wstring& path) {
    return is_ParameterFile(cam.m_hCam, ueye::kParameterLoad, const_cast<wchar_t*>(path.c_str()),
                            0) == 0;
}

void LogLoadResult(bool loaded, const std::wstring& path) {
    gLog.Write(loaded ? "LoadFile Param File loaded: " : "LoadFile Param File NOT loaded: ");
    gLog.WriteW(path.c_str());
    gLog.Write("\n");
}

void RememberConfigId() {
    WriteSettingsString(L"CamShareLast",
                        std::to_wstring(static_cast<int32_t>(gCurCamConfigId)).c_str());
}

void LoadFile(MyCam& cam, bool openedWithoutSerial, const wchar_t* serial) {
    if (gCamShareConfig) {
        const std::wstring path = ConfigFilePath(gCurCamConfigId);
        LogProbe("LoadFile1 file=", path, ProbeFile(path));
        const bool loaded = LoadParameterFile(cam, path);
        LogLoadResult(loaded, path);
        if (loaded) {
            RememberConfigId();
            return;
        }
    }
    if (!openedWithoutSerial) {
        const std::wstring path = SerialFilePath(serial);
        LogProbe("LoadFile2 file=", path, ProbeFile(path));
        const bool loaded = LoadParameterFile(cam, path);
        LogLoadResult(loaded, path);
        if (loaded) {
            return;
        }
    }
    const std::wstring path = DefaultFilePath();
    gLog.Write("LoadFile3: ");
    gLog.WriteW(path.c_str());
    gLog.Write("\n");
    LogLoadResult(LoadParameterFile(cam, path), path);
}
