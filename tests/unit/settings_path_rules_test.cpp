#include "infra/settings_path_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SettingsPathRules, FullPathsAndTheBoundOf260) {
    for (const wchar_t* full : {L"C:\\a\\b.ini", L"\\\\", L"\\\\server\\s"}) {
        EXPECT_TRUE(trv::IsFullSettingsPath(full)) << std::wstring(full).size();
    }
    for (const wchar_t* relative : {L"Settings\\Tarvello.ini", L"x.ini", L""}) {
        EXPECT_FALSE(trv::IsFullSettingsPath(relative)) << std::wstring(relative).size();
    }
    wchar_t path[trv::kPathChars];
    // base + "\Tarvello" (9) + terminator fit 260; one more character does not.
    EXPECT_FALSE(
        trv::ComposeSettingsFolder(path, trv::kPathChars, std::wstring(251, L'b').c_str()));
    EXPECT_EQ(path[0], 0) << "a folder that does not fit leaves no half path";
    ASSERT_TRUE(trv::ComposeSettingsFolder(path, trv::kPathChars, std::wstring(250, L'b').c_str()));
    EXPECT_EQ(std::wstring(path), std::wstring(250, L'b') + L"\\Tarvello");
    ASSERT_TRUE(trv::ComposeSettingsFolder(path, trv::kPathChars, L"C:\\x"));
    EXPECT_FALSE(trv::AppendSettingsName(path, trv::kPathChars, std::wstring(246, L'n').c_str()));
    EXPECT_EQ(std::wstring(path), L"C:\\x\\Tarvello");
    EXPECT_TRUE(trv::AppendSettingsName(path, trv::kPathChars, std::wstring(245, L'n').c_str()));
    EXPECT_EQ(std::wstring(path), L"C:\\x\\Tarvello\\" + std::wstring(245, L'n'));
    wchar_t dst[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_TRUE(trv::CopyBounded(dst, 4, L"abc"));
    EXPECT_FALSE(trv::CopyBounded(dst, 4, L"abcd"));
    EXPECT_EQ(std::wstring(dst), L"abc");
    EXPECT_FALSE(trv::CopyBounded(dst, 4, nullptr));
    EXPECT_EQ(dst[0], 0);
    EXPECT_FALSE(trv::CopyBounded(dst, 0, L"a"));
    // TRV_SETTINGS + "\Tarvello\Settings\Tarvello.ini" (31 more) fits 259 up to 228.
    EXPECT_TRUE(trv::HostSettingsFits(std::wstring(228, L'b').c_str()));
    EXPECT_FALSE(trv::HostSettingsFits(std::wstring(229, L'b').c_str()));
}

} // namespace
