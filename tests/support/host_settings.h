// A fresh settings tree for one test: TRV_SETTINGS points at a new folder holding
// Tarvello\Settings\Tarvello.ini, removed again at the end.
#pragma once

#include <windows.h>

#include <string>

namespace trvtest {

class HostSettings {
  public:
    HostSettings() {
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        // Process ids come back under Wine: the counter keeps folders of earlier runs apart.
        base = std::wstring(tmp) + L"trv" + std::to_wstring(GetCurrentProcessId()) + L"_" +
               std::to_wstring(now.QuadPart);
        CreateDirectoryW(base.c_str(), nullptr);
        CreateDirectoryW((base + L"\\Tarvello").c_str(), nullptr);
        CreateDirectoryW((base + L"\\Tarvello\\Settings").c_str(), nullptr);
        SetEnvironmentVariableW(L"TRV_SETTINGS", base.c_str());
        configDir = base + L"\\";
    }
    ~HostSettings() {
        DeleteFileW(File().c_str());
        DeleteFileW((configDir + L"tarvello.ini").c_str());
        RemoveDirectoryW((base + L"\\Tarvello\\Settings").c_str());
        RemoveDirectoryW((base + L"\\Tarvello").c_str());
        RemoveDirectoryW(base.c_str());
    }
    HostSettings(const HostSettings&) = delete;
    HostSettings& operator=(const HostSettings&) = delete;

    std::wstring File() const { return base + L"\\Tarvello\\Settings\\Tarvello.ini"; }
    void Set(const wchar_t* key, const wchar_t* value, const wchar_t* section = L"video") {
        WritePrivateProfileStringW(section, key, value, File().c_str());
    }
    // "trigger" in the host's tarvello.ini of the configuration folder.
    void Trigger(const wchar_t* value) {
        WritePrivateProfileStringW(L"video", L"trigger", value,
                                   (configDir + L"tarvello.ini").c_str());
    }

    std::wstring base;
    std::wstring configDir;
};

} // namespace trvtest
