#include "infra/globals.h"
#include "infra/settings.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <windows.h>

#include <string>

namespace {

bool IsFolder(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A fresh folder under the temporary folder, removed afterwards with what the test made.
class SettingsPath : public testing::Test {
  protected:
    void SetUp() override {
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        base = std::wstring(tmp) + L"trvset" + std::to_wstring(GetCurrentProcessId()) + L"_" +
               std::to_wstring(GetTickCount());
        ASSERT_TRUE(CreateDirectoryW(base.c_str(), nullptr));
        SetEnvironmentVariableW(L"TRV_SETTINGS", base.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"TRV_SETTINGS", nullptr);
        DeleteFileW((base + L"\\Tarvello\\Settings\\Tarvello.ini").c_str());
        RemoveDirectoryW((base + L"\\Tarvello\\Settings").c_str());
        RemoveDirectoryW((base + L"\\Tarvello").c_str());
        RemoveDirectoryW(base.c_str());
        wcscpy_s(gSection, L"video");
    }
    std::wstring AllUsersDocuments() {
        wchar_t path[MAX_PATH] = {};
        EXPECT_EQ(SHGetFolderPathW(nullptr, 0x802e, nullptr, 0, path), S_OK);
        return path;
    }
    void WriteHostSetting(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
        CreateDirectoryW((base + L"\\Tarvello").c_str(), nullptr);
        CreateDirectoryW((base + L"\\Tarvello\\Settings").c_str(), nullptr);
        ASSERT_TRUE(WritePrivateProfileStringW(
            section, key, value, (base + L"\\Tarvello\\Settings\\Tarvello.ini").c_str()));
    }
    std::wstring base;
};

TEST_F(SettingsPath, EnvironmentGivesTheBaseFolder) {
    ASSERT_FALSE(IsFolder(base + L"\\Tarvello"));
    wchar_t file[512];
    GetSettingsFile(file);
    EXPECT_EQ(std::wstring(file), base + L"\\Tarvello\\Settings\\Tarvello.ini");
    EXPECT_TRUE(IsFolder(base + L"\\Tarvello")) << "the settings folder is made on demand";
    EXPECT_FALSE(IsFolder(base + L"\\Tarvello\\Settings")) << "the host makes that one";
    // An existing folder is no error.
    GetSettingsFile(file);
    EXPECT_EQ(std::wstring(file), base + L"\\Tarvello\\Settings\\Tarvello.ini");
}

TEST_F(SettingsPath, NamesWithTwoBackslashesAreFullPaths) {
    EXPECT_EQ(GetSettingsPath(L"C:\\a\\b.ini"), L"C:\\a\\b.ini");
    EXPECT_FALSE(IsFolder(base + L"\\Tarvello")) << "a full path creates nothing";
    EXPECT_EQ(GetSettingsPath(L"a\\b.ini"), base + L"\\Tarvello\\a\\b.ini");
}

TEST_F(SettingsPath, EmptyOrOverlongVariableUsesAllUsersDocuments) {
    const std::wstring docs = AllUsersDocuments();
    SetEnvironmentVariableW(L"TRV_SETTINGS", L"");
    EXPECT_EQ(GetSettingsPath(L"x.ini"), docs + L"\\Tarvello\\x.ini");
    SetEnvironmentVariableW(L"TRV_SETTINGS", nullptr);
    EXPECT_EQ(GetSettingsPath(L"x.ini"), docs + L"\\Tarvello\\x.ini");
    // 1024 characters do not fit the 1024-character buffer with its terminator.
    const std::wstring huge(1024, L'h');
    SetEnvironmentVariableW(L"TRV_SETTINGS", huge.c_str());
    EXPECT_EQ(GetSettingsPath(L"x.ini"), docs + L"\\Tarvello\\x.ini");
}

TEST_F(SettingsPath, PathBeyond260CharactersIsNotCut) {
    // 1023 characters fit the variable's buffer but not a path: the bare name is used.
    const std::wstring longBase = L"C:\\" + std::wstring(1020, L'l');
    SetEnvironmentVariableW(L"TRV_SETTINGS", longBase.c_str());
    EXPECT_EQ(GetSettingsPath(L"Settings\\Tarvello.ini"), L"") << "no file at all";
    // A base that fits, with a name that makes the whole path too long.
    SetEnvironmentVariableW(L"TRV_SETTINGS", base.c_str());
    const std::wstring longName(260 - base.size() - 10, L'n');
    EXPECT_EQ(GetSettingsPath(longName), L"");
    const std::wstring fitting(260 - base.size() - 11, L'n');
    EXPECT_EQ(GetSettingsPath(fitting), base + L"\\Tarvello\\" + fitting);
}

TEST_F(SettingsPath, KeysAreReadFromTheCurrentSectionEveryTime) {
    WriteHostSetting(L"video", L"CamSN_Wait", L"7");
    WriteHostSetting(L"other", L"CamSN_Wait", L"9");
    EXPECT_EQ(ReadSettingsInt(L"CamSN_Wait", 60), 7);
    wcscpy_s(gSection, L"other");
    EXPECT_EQ(ReadSettingsInt(L"CamSN_Wait", 60), 9);
    WriteHostSetting(L"other", L"CamSN_Wait", L"11");
    EXPECT_EQ(ReadSettingsInt(L"CamSN_Wait", 60), 11) << "nothing is cached";
    EXPECT_EQ(ReadSettingsInt(L"Missing", 60), 60);
    WriteSettingsString(L"CamShareLast", L"3");
    wchar_t value[16];
    ReadSettingsString(L"CamShareLast", L"", value, 16);
    EXPECT_EQ(std::wstring(value), L"3");
    wcscpy_s(gSection, L"video");
    ReadSettingsString(L"CamShareLast", L"none", value, 16);
    EXPECT_EQ(std::wstring(value), L"none");
}

} // namespace
