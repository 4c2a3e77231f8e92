// A fresh settings tree for one test: TRV_SETTINGS points at a new folder holding
// Tarvello\Settings\Tarvello.ini, removed again at the end.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

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
        for (const std::wstring& f : written) {
            DeleteFileW(f.c_str());
        }
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

    // The value of `key` in section "video" of the host settings file, "<none>" when absent.
    std::wstring Get(const wchar_t* key) const {
        wchar_t buf[256] = {};
        GetPrivateProfileStringW(L"video", key, L"<none>", buf, 256, File().c_str());
        return buf;
    }
    // A file of the configuration folder, removed with the settings tree.
    std::wstring WriteConfigFile(const std::wstring& name, const std::string& text) {
        const std::wstring path = configDir + name;
        FILE* f = _wfopen(path.c_str(), L"wb");
        if (f != nullptr) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
        written.push_back(path);
        return path;
    }

    std::wstring base;
    std::wstring configDir;
    std::vector<std::wstring> written; // files of the configuration folder
};

} // namespace trvtest
