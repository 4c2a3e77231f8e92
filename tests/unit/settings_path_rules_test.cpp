#include "infra/settings_path_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SettingsPathRules, FullPathNeedsTwoBackslashes) {
    struct Case {
        const wchar_t* name;
        bool full;
    };
    for (const Case c : {Case{L"C:\\a\\b.ini", true}, Case{L"a\\b.ini", false},
                         Case{L"Settings\\Tarvello.ini", false}, Case{L"x.ini", false},
                         Case{L"", false}, Case{L"\\\\", true}, Case{L"\\\\server\\s", true}}) {
        EXPECT_EQ(trv::IsFullSettingsPath(c.name), c.full) << std::wstring(c.name).size();
    }
}

TEST(SettingsPathRules, ComposesFolderAndName) {
    wchar_t path[trv::kPathChars];
    ASSERT_TRUE(trv::ComposeSettingsFolder(path, trv::kPathChars, L"D:\\cfg"));
    EXPECT_EQ(std::wstring(path), L"D:\\cfg\\Tarvello");
    ASSERT_TRUE(trv::AppendSettingsName(path, trv::kPathChars, L"Settings\\Tarvello.ini"));
    EXPECT_EQ(std::wstring(path), L"D:\\cfg\\Tarvello\\Settings\\Tarvello.ini");
}

TEST(SettingsPathRules, FolderAtTheBound) {
    // base + "\Tarvello" (9) + terminator must fit 260.
    const std::wstring fits(260 - 1 - 9, L'b');
    const std::wstring tooLong(260 - 9, L'b');
    wchar_t path[trv::kPathChars];
    EXPECT_TRUE(trv::ComposeSettingsFolder(path, trv::kPathChars, fits.c_str()));
    EXPECT_EQ(std::wstring(path).size(), 259u);
    EXPECT_FALSE(trv::ComposeSettingsFolder(path, trv::kPathChars, tooLong.c_str()));
    EXPECT_EQ(path[0], 0) << "a folder that does not fit leaves no half path";
}

TEST(SettingsPathRules, NameThatDoesNotFitLeavesFolder) {
    wchar_t path[trv::kPathChars];
    ASSERT_TRUE(trv::ComposeSettingsFolder(path, trv::kPathChars, L"C:\\x"));
    const std::wstring folder = path;
    const std::wstring exact(260 - 1 - folder.size() - 1, L'n');
    const std::wstring over = exact + L"n";
    EXPECT_FALSE(trv::AppendSettingsName(path, trv::kPathChars, over.c_str()));
    EXPECT_EQ(std::wstring(path), folder);
    EXPECT_TRUE(trv::AppendSettingsName(path, trv::kPathChars, exact.c_str()));
    EXPECT_EQ(std::wstring(path).size(), 259u);
}

TEST(SettingsPathRules, BoundedCopy) {
    wchar_t dst[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_TRUE(trv::CopyBounded(dst, 4, L"abc"));
    EXPECT_EQ(std::wstring(dst), L"abc");
    EXPECT_FALSE(trv::CopyBounded(dst, 4, L"abcd"));
    EXPECT_EQ(std::wstring(dst), L"abc");
    EXPECT_FALSE(trv::CopyBounded(dst, 4, nullptr));
    EXPECT_EQ(dst[0], 0);
    EXPECT_FALSE(trv::CopyBounded(dst, 0, L"a"));
}

} // namespace
