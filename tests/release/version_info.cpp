// Prints the version resource of a Windows binary as Name=value lines, the strings taken from
// the block its translation table names, as Explorer does.
#include <windows.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    DWORD ignored = 0;
    const DWORD size = argc == 2 ? GetFileVersionInfoSizeW(argv[1], &ignored) : 0;
    std::vector<char> data(size);
    if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, data.data())) {
        std::printf("no version resource\n");
        return 1;
    }
    void* value = nullptr;
    UINT len = 0;
    if (VerQueryValueW(data.data(), L"\\", &value, &len) && len >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        std::printf("Fixed=%u.%u.%u.%u %u.%u.%u.%u flags=0x%lx type=%lu\n",
                    HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                    HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
                    HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                    HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS),
                    fixed->dwFileFlags & fixed->dwFileFlagsMask, fixed->dwFileType);
    }
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &len) || len < 4) {
        std::printf("no translation\n");
        return 1;
    }
    const auto* lang = static_cast<const WORD*>(value);
    for (const wchar_t* name :
         {L"CompanyName", L"FileDescription", L"FileVersion", L"LegalCopyright",
          L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
        wchar_t path[96];
        swprintf(path, 96, L"\\StringFileInfo\\%04x%04x\\%ls", lang[0], lang[1], name);
        if (VerQueryValueW(data.data(), path, &value, &len) && len > 0)
            std::printf("%ls=%ls\n", name, static_cast<const wchar_t*>(value));
    }
    return 0;
}
