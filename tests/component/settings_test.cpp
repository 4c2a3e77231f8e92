// Where the settings file is found and how its keys are read; the path bounds are unit-tested.
#include "infra/globals.h"
#include "infra/settings.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

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

} // namespace
