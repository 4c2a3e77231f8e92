// Where the host settings file lives, and the INI access to its keys.
#include "settings.h"

#include "infra/globals.h"
#include "settings_path_rules.h"
#include "trv_log.h"

#include <shlobj.h>
#include <windows.h>

namespace {

constexpr int kAllUsersDocumentsCreate = 0x802e; // common documents, created when missing

} // namespace

std::wstring GetSettingsPath(std::wstring name) {
    if (trv::IsFullSettingsPath(name.c_str())) {
        return name;
    }
    wchar_t path[trv::kPathChars] = {};
    wchar_t env[trv::kEnvChars] = {};
    // A value that does not fit leaves the buffer empty: then the shell folder is used.
    GetEnvironmentVariableW(L"TRV_SETTINGS", env, trv::kEnvChars);
    const wchar_t* base = env;
    wchar_t shellFolder[MAX_PATH] = {};
    if (env[0] == 0) {
        if (SHGetFolderPathW(nullptr, kAllUsersDocumentsCreate, nullptr, 0, shellFolder) != S_OK) {
            return name;
        }
        base = shellFolder;
    }
    if (!trv::ComposeSettingsFolder(path, trv::kPathChars, base)) {
        gLog.Write("GetSettingsPath: settings folder path too long\n");
        return name;
    }
    SHCreateDirectory(nullptr, path);
    if (!trv::AppendSettingsName(path, trv::kPathChars, name.c_str())) {
        gLog.Write("GetSettingsPath: settings file path too long\n");
        return name;
    }
    return path;
}

void GetSettingsFile(wchar_t* destination) {
    const std::wstring path = GetSettingsPath(L"Settings\\Tarvello.ini");
    trv::CopyBounded(destination, trv::kSettingsFileChars, path.c_str());
}

int ReadSettingsInt(const wchar_t* key, int defaultValue) {
    wchar_t file[trv::kSettingsFileChars];
    GetSettingsFile(file);
    return static_cast<int>(GetPrivateProfileIntW(gSection, key, defaultValue, file));
}

void ReadSettingsString(const wchar_t* key, const wchar_t* defaultValue, wchar_t* dst,
                        unsigned capacity) {
    wchar_t file[trv::kSettingsFileChars];
    GetSettingsFile(file);
    GetPrivateProfileStringW(gSection, key, defaultValue, dst, capacity, file);
}

void WriteSettingsString(const wchar_t* key, const wchar_t* value) {
    wchar_t file[trv::kSettingsFileChars];
    GetSettingsFile(file);
    WritePrivateProfileStringW(gSection, key, value, file);
}
