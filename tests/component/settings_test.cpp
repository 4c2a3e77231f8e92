// Where the settings file is found and how its keys are read; the path bounds are unit-tested.
#include "infra/globals.h"
#include "infra/settings.h"
#include "log_reader.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <tuple>

namespace {

bool IsFolder(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

TEST(Settings, FolderFromTheEnvironmentAndKeysReadEveryTime) {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    const std::wstring base = std::wstring(tmp) + L"trvset" +
                              std::to_wstring(GetCurrentProcessId()) + L"_" +
                              std::to_wstring(GetTickCount());
    const std::wstring folder = base + L"\\Tarvello";
    const std::wstring file = folder + L"\\Settings\\Tarvello.ini";
    ASSERT_TRUE(CreateDirectoryW(base.c_str(), nullptr));
    SetEnvironmentVariableW(L"TRV_SETTINGS", base.c_str());
    EXPECT_EQ(GetSettingsPath(L"C:\\a\\b.ini"), L"C:\\a\\b.ini");
    EXPECT_FALSE(IsFolder(folder)) << "a full path creates nothing";
    wchar_t path[512];
    GetSettingsFile(path);
    EXPECT_EQ(std::wstring(path), file);
    EXPECT_TRUE(IsFolder(folder)) << "the settings folder is made on demand";
    EXPECT_FALSE(IsFolder(folder + L"\\Settings")) << "the host makes that one";
    GetSettingsFile(path);
    EXPECT_EQ(std::wstring(path), file) << "an existing folder is no error";
    const std::wstring name(260 - base.size() - 10, L'n'); // the whole path 260 characters
    EXPECT_EQ(GetSettingsPath(name), L"") << "too long for a path: no file at all";
    EXPECT_EQ(GetSettingsPath(name.substr(1)), folder + L"\\" + name.substr(1));

    CreateDirectoryW((folder + L"\\Settings").c_str(), nullptr);
    WritePrivateProfileStringW(L"video", L"CamSN_Wait", L"7", file.c_str());
    WritePrivateProfileStringW(L"other", L"CamSN_Wait", L"9", file.c_str());
    EXPECT_EQ(ReadSettingsInt(L"CamSN_Wait", 60), 7);
    wcscpy_s(gSection, L"other");
    EXPECT_EQ(ReadSettingsInt(L"CamSN_Wait", 60), 9);
    WritePrivateProfileStringW(L"other", L"CamSN_Wait", L"11", file.c_str());
    EXPECT_EQ(ReadSettingsInt(L"CamSN_Wait", 60), 11) << "nothing is cached";
    EXPECT_EQ(ReadSettingsInt(L"Missing", 60), 60);
    WriteSettingsString(L"CamShareLast", L"3");
    wchar_t value[16];
    ReadSettingsString(L"CamShareLast", L"", value, 16);
    EXPECT_EQ(std::wstring(value), L"3");
    wcscpy_s(gSection, L"video");
    ReadSettingsString(L"CamShareLast", L"none", value, 16);
    EXPECT_EQ(std::wstring(value), L"none");
    DeleteFileW(file.c_str());
    RemoveDirectoryW((folder + L"\\Settings").c_str());
    RemoveDirectoryW(folder.c_str());
    RemoveDirectoryW(base.c_str());

    SetEnvironmentVariableW(L"TRV_SETTINGS", nullptr);
}

// The all-users documents folder as the machine names it, for one test (Wine reads the name at
// every look-up), then the name before.
struct DocumentsFolder {
    explicit DocumentsFolder(const std::wstring& path) {
        RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                      0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
        RegQueryValueExW(key, L"Common Documents", nullptr, &type, old, &size);
        RegSetValueExW(key, L"Common Documents", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    }
    ~DocumentsFolder() {
        RegSetValueExW(key, L"Common Documents", 0, type, old, size);
        RegCloseKey(key);
    }
    HKEY key = nullptr;
    DWORD type = 0, size = sizeof old;
    BYTE old[1024] = {};
};

// Without TRV_SETTINGS (or with one too long): a documents folder that cannot be made gives the
// bare name; one too long for the settings folder or file gives no file at all: every key its
// default, nothing written or made, and each kind of line once per start.
TEST(Settings, DocumentsFolderMissingOrTooLong) {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    LogReader log;
    const std::wstring tooLong = L"C:\\" + std::wstring(300, L'e');
    const std::tuple<size_t, const wchar_t*, const char*> cases[] = {
        {0, nullptr, ""},
        {251, nullptr, "GetSettingsPath: settings folder path too long\n"},
        {237, nullptr, "GetSettingsPath: settings file path too long\n"},
        {237, tooLong.c_str(),
         "GetSettingsPath: TRV_SETTINGS too long, ignored\n"
         "GetSettingsPath: settings file path too long\n"}};
    for (const auto& [length, env, line] : cases) {
        SetEnvironmentVariableW(L"TRV_SETTINGS", env);
        std::wstring folder = length == 0 ? L"Q:\\trv" : tmp; // there is no drive Q:
        folder.resize(std::max(length, folder.size()), L'd');
        const DocumentsFolder documents(folder);
        ResetSettingsNotes();
        log.Drain();
        wchar_t path[512] = L"x", value[16] = L"";
        GetSettingsFile(path);
        if (length != 0) { // the bare name would be written in the Windows folder
            WriteSettingsString(L"CamSN_Wait", L"7");
        }
        ReadSettingsString(L"CamSN_Wait", L"none", value, 16);
        EXPECT_EQ(ReadSettingsInt(L"CamSN_Wait", 60), 60);
        EXPECT_EQ(std::wstring(value), L"none");
        EXPECT_EQ(std::wstring(path), length == 0 ? L"Settings\\Tarvello.ini" : L"") << length;
        EXPECT_EQ(ToUtf8(log.Drain()), line) << length;
        EXPECT_FALSE(IsFolder(folder + L"\\Tarvello")) << length;
        RemoveDirectoryW(folder.c_str());
    }
    SetEnvironmentVariableW(L"TRV_SETTINGS", nullptr);
}

} // namespace
