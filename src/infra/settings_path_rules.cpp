#include "settings_path_rules.h"

#include <cwchar>

namespace trv {

bool IsFullSettingsPath(const wchar_t* name) {
    int backslashes = 0;
    for (const wchar_t* p = name; *p != 0; ++p) {
        if (*p == L'\\' && ++backslashes == 2) {
            return true;
        }
    }
    return false;
}

bool CopyBounded(wchar_t* dst, size_t capacity, const wchar_t* src) {
    if (capacity == 0) {
        return false;
    }
    if (src == nullptr) {
        dst[0] = 0;
        return false;
    }
    size_t i = 0;
    for (; i + 1 < capacity && src[i] != 0; ++i) {
        dst[i] = src[i];
    }
    dst[i] = 0;
    return src[i] == 0;
}

namespace {

// The length of s, or `most` when s has no terminator before it.
size_t LengthUpTo(const wchar_t* s, size_t most) {
    size_t n = 0;
    while (n < most && s[n] != 0) {
        ++n;
    }
    return n;
}

// Appends "\" + tail when all of it fits; otherwise leaves dst as it was.
bool AppendWithSeparator(wchar_t* dst, size_t capacity, const wchar_t* tail) {
    const size_t used = std::wcslen(dst);
    const size_t add = std::wcslen(tail);
    if (used + 1 + add + 1 > capacity) {
        return false;
    }
    dst[used] = L'\\';
    std::wmemcpy(dst + used + 1, tail, add + 1);
    return true;
}

} // namespace

bool CopyWhole(wchar_t* dst, size_t capacity, const wchar_t* src) {
    const size_t length = src != nullptr ? LengthUpTo(src, capacity) : capacity;
    if (length >= capacity) {
        return false;
    }
    std::wmemcpy(dst, src, length + 1);
    return true;
}

bool JoinBounded(wchar_t* dst, size_t capacity, std::initializer_list<const wchar_t*> parts) {
    if (capacity == 0) {
        return false;
    }
    size_t used = 0; // always below capacity: room for the terminator
    for (const wchar_t* part : parts) {
        const size_t add = LengthUpTo(part, capacity);
        if (add >= capacity - used) {
            dst[0] = 0;
            return false;
        }
        std::wmemcpy(dst + used, part, add);
        used += add;
    }
    dst[used] = 0;
    return true;
}

bool ComposeSettingsFolder(wchar_t* dst, size_t capacity, const wchar_t* base) {
    if (!CopyBounded(dst, capacity, base) || !AppendWithSeparator(dst, capacity, L"Tarvello")) {
        if (capacity > 0) {
            dst[0] = 0;
        }
        return false;
    }
    return true;
}

bool AppendSettingsName(wchar_t* dst, size_t capacity, const wchar_t* name) {
    return AppendWithSeparator(dst, capacity, name);
}

bool HostSettingsFits(const wchar_t* base) {
    wchar_t path[kPathChars];
    return ComposeSettingsFolder(path, kPathChars, base) &&
           AppendSettingsName(path, kPathChars, kHostSettingsName);
}

} // namespace trv
