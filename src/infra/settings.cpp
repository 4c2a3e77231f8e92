// Where the host settings file lives, and the INI access to its keys.
#include "settings.h"

#include "infra/globals.h"
#include "settings_path_rules.h"
#include "trv_log.h"
#include "record/recorder.h"

#include <shlobj.h>
#include <windows.h>

namespace {

constexpr int kAllUsersDocumentsCreate = 0x802e; // common documents, created when missing

// Each kind of path that does not fit is logged once per start, not at every read.
constexpr LONG kEnvTooLong = 1;
constexpr LONG kFolderTooLong = 2;
constexpr LONG kFileTooLong = 4;
volatile LONG gPathNotes = 0;

void NoteOnce(LONG kind, const char* line, bool quiet) {
    if (!quiet && (InterlockedOr(&gPathNotes, kind) & kind) == 0) {
        gLog.Write(line);
    }
}

enum class SettingsPath { Composed, NameAsGiven, TooLong };

// Composes the path of the settings file `name` into dst (kPathChars), without allocating.
// TooLong: there is no file to use, and nothing was created. `quiet`: nothing logged.
SettingsPath ComposeSettingsPath(const wchar_t* name, wchar_t* dst, bool quiet = false) {
    if (trv::IsFullSettingsPath(name)) {
        return SettingsPath::NameAsGiven;
    }
    wchar_t env[trv::kEnvChars] = {};
    // A value too long for its buffer (which is then left undefined) or for the host settings
    // file's path is ignored, as when it is not set.
    if (GetEnvironmentVariableW(L"TRV_SETTINGS", env, trv::kEnvChars) >= trv::kEnvChars ||
        (env[0] != 0 && !trv::HostSettingsFits(env))) {
        NoteOnce(kEnvTooLong, "GetSettingsPath: TRV_SETTINGS too long, ignored\n", quiet);
        env[0] = 0;
    }
    const wchar_t* base = env;
    wchar_t shellFolder[MAX_PATH] = {};
    if (env[0] == 0) {
        if (SHGetFolderPathW(nullptr, kAllUsersDocumentsCreate, nullptr, 0, shellFolder) != S_OK) {
            return SettingsPath::NameAsGiven;
        }
        base = shellFolder;
    }
    if (!trv::ComposeSettingsFolder(dst, trv::kPathChars, base)) {
        NoteOnce(kFolderTooLong, "GetSettingsPath: settings folder path too long\n", quiet);
        return SettingsPath::TooLong;
    }
    wchar_t file[trv::kPathChars];
    trv::CopyBounded(file, trv::kPathChars, dst);
    if (!trv::AppendSettingsName(file, trv::kPathChars, name)) {
        NoteOnce(kFileTooLong, "GetSettingsPath: settings file path too long\n", quiet);
        return SettingsPath::TooLong;
    }
    SHCreateDirectory(nullptr, dst);
    trv::CopyBounded(dst, trv::kPathChars, file);
    return SettingsPath::Composed;
}

void FillSettingsFile(wchar_t* destination, bool quiet) {
    wchar_t path[trv::kPathChars];
    switch (ComposeSettingsPath(trv::kHostSettingsName, path, quiet)) {
    case SettingsPath::Composed:
        trv::CopyBounded(destination, trv::kSettingsFileChars, path);
        break;
    case SettingsPath::NameAsGiven:
        trv::CopyBounded(destination, trv::kSettingsFileChars, trv::kHostSettingsName);
        break;
    default:
        destination[0] = 0;
        break;
    }
}

} // namespace

void ResetSettingsNotes() {
    InterlockedExchange(&gPathNotes, 0);
}

std::wstring GetSettingsPath(std::wstring name) {
    wchar_t path[trv::kPathChars];
    switch (ComposeSettingsPath(name.c_str(), path)) {
    case SettingsPath::Composed:
        return path;
    case SettingsPath::NameAsGiven:
        return name;
    default:
        return std::wstring();
    }
}

void GetSettingsFile(wchar_t* destination) {
    FillSettingsFile(destination, false);
}

void GetSettingsFileQuietly(wchar_t* destination) {
    FillSettingsFile(destination, true);
}

// An empty settings file name: the path did not fit, so every key has its default and no
// file is read or written (a bare name would be resolved in the Windows folder).
int ReadSettingsInt(const wchar_t* key, int defaultValue) {
    wchar_t file[trv::kSettingsFileChars];
    GetSettingsFile(file);
    const int value =
        file[0] == 0 ? defaultValue
                     : static_cast<int>(GetPrivateProfileIntW(gSection, key, defaultValue, file));
    RecordSetting("host", gSection, key, value);
    return value;
}

void ReadSettingsString(const wchar_t* key, const wchar_t* defaultValue, wchar_t* dst,
                        unsigned capacity) {
    wchar_t file[trv::kSettingsFileChars];
    GetSettingsFile(file);
    if (file[0] == 0) {
        trv::CopyBounded(dst, capacity, defaultValue);
    } else {
        GetPrivateProfileStringW(gSection, key, defaultValue, dst, capacity, file);
    }
    RecordSetting("host", gSection, key, static_cast<const wchar_t*>(dst));
}

void WriteSettingsString(const wchar_t* key, const wchar_t* value) {
    wchar_t file[trv::kSettingsFileChars];
    GetSettingsFile(file);
    if (file[0] != 0) {
        WritePrivateProfileStringW(gSection, key, value, file);
    }
}
