// Composition of settings paths. Pure code, no OS headers.
#pragma once

#include <cstddef>
#include <initializer_list>

namespace trv {

constexpr size_t kPathChars = 260; // every composed path, terminator included
constexpr size_t kEnvChars = 1024; // the TRV_SETTINGS value, terminator included
constexpr size_t kSettingsFileChars = 512;

constexpr wchar_t kHostSettingsName[] = L"Settings\\Tarvello.ini";

// The host settings file under `base` (base + "\Tarvello\" + kHostSettingsName) fits
// kPathChars: base has at most 228 characters.
bool HostSettingsFits(const wchar_t* base);

// A name with at least two backslashes is a full path and is used unchanged.
bool IsFullSettingsPath(const wchar_t* name);

// Writes base + "\Tarvello" into dst. False, with dst empty, when it does not fit.
bool ComposeSettingsFolder(wchar_t* dst, size_t capacity, const wchar_t* base);

// Appends "\" + name to the folder in dst. False, with dst unchanged, when it does not fit.
bool AppendSettingsName(wchar_t* dst, size_t capacity, const wchar_t* name);

// Bounded copy that always terminates dst; false when src had to be cut (or was null).
bool CopyBounded(wchar_t* dst, size_t capacity, const wchar_t* src);

// Copies src whole; false, with dst unchanged, when src is null or does not fit: a name that
// does not fit is never used cut.
bool CopyWhole(wchar_t* dst, size_t capacity, const wchar_t* src);

// dst = the parts one after another; false, with dst empty, when they do not fit together.
bool JoinBounded(wchar_t* dst, size_t capacity, std::initializer_list<const wchar_t*> parts);

} // namespace trv
