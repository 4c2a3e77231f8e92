// The frame path end to end under Wine: the real trvueye.dll, loaded by path like a host, gets
// frames from the simulated camera at rising rates, with a quick host, a slow host and a host
// thread asking for the timing meanwhile. For every frame event the camera window takes from
// its queue it records when the plug-in's window procedure ran, when the host callback ran
// and which frame the delivered pixels hold; the simulator says when each frame was posted.
//   frame_path_bench [--trv_md=FILE]
// The plug-in keeps its camera thread for the life of a process, so each camera runs in a
// child process of its own (--child=mono|colour|tiny --out=FILE); the parent then times the
// conversion alone and the system calls of the frame path, and writes the report.
#include "frame_path.h"

#include <cstring>
#include <sstream>

namespace framepath {

const CameraKind kKinds[] = {
    {"mono", "Mono camera, 2048 x 1536, 8 bits expanded to 24", 1, 2048, 1536},
    {"colour", "Colour camera, 2048 x 1536, 24 bits copied", 2, 2048, 1536},
    {"tiny", "Mono camera, 64 x 48: the frame path with next to no conversion", 1, 64, 48},
};

std::wstring OwnPath() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring OwnFolder() {
    const std::wstring s = OwnPath();
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

} // namespace framepath

using namespace framepath;

namespace {

ChildResult RunChildProcess(const CameraKind& kind) {
    ChildResult result;
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    const std::wstring name(kind.name, kind.name + std::strlen(kind.name));
    const std::wstring out = std::wstring(tmp) + L"frame_path_" +
                             std::to_wstring(GetCurrentProcessId()) + L"_" + name + L".txt";
    std::wstring line = L"\"" + OwnPath() + L"\" --child=" + name + L" --out=\"" + out + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(OwnPath().c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi)) {
        std::fprintf(stderr, "frame_path_bench: cannot start the %s run (error %lu)\n", kind.name,
                     GetLastError());
        return result;
    }
    CloseHandle(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, 150000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "frame_path_bench: the %s run took over 150 s; stopped\n", kind.name);
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    std::string all;
    if (std::FILE* in = _wfopen(out.c_str(), L"rb")) {
        char chunk[4096];
        size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
            all.append(chunk, n);
        }
        std::fclose(in);
    }
    std::istringstream lines(all);
    std::string text;
    while (std::getline(lines, text)) {
        if (!text.empty() && text[0] == '@') {
            std::istringstream fields(text.substr(1));
            std::string key, value;
            fields >> key >> value;
            result.values[key] = value == "n/a" ? NAN : std::strtod(value.c_str(), nullptr);
        } else {
            result.markdown += text + "\n";
        }
    }
    DeleteFileW(out.c_str());
    result.ok = code == 0 && !result.values.empty();
    if (!result.ok) {
        std::fprintf(stderr, "frame_path_bench: the %s run failed (exit status %lu)\n", kind.name,
                     code);
    }
    return result;
}

} // namespace

int main(int argc, char** argv) {
    std::string mdPath;
    std::string child;
    std::string outPath;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--trv_md=", 9) == 0) {
            mdPath = argv[i] + 9;
        } else if (std::strncmp(argv[i], "--child=", 8) == 0) {
            child = argv[i] + 8;
        } else if (std::strncmp(argv[i], "--out=", 6) == 0) {
            outPath = argv[i] + 6;
        } else {
            std::fprintf(stderr, "usage: frame_path_bench [--trv_md=FILE]\n");
            return 2;
        }
    }
    if (!child.empty()) {
        for (const CameraKind& kind : kKinds) {
            if (child == kind.name) {
                return RunChild(kind, std::wstring(outPath.begin(), outPath.end()));
            }
        }
        std::fprintf(stderr, "frame_path_bench: no camera called %s\n", child.c_str());
        return 2;
    }
    const int64_t begin = Ticks();
    ChildResult results[3];
    for (size_t i = 0; i < 3; ++i) {
        results[i] = RunChildProcess(kKinds[i]);
    }
    std::printf("frame_path_bench: the conversion alone and the system calls\n");
    std::fflush(stdout);
    const size_t pixels = size_t{2048} * 1536;
    const Conversion convMono = MeasureConversion(true, pixels);
    const Conversion convColour = MeasureConversion(false, pixels);
    const SystemCalls calls = MeasureSystemCalls();
    std::printf("frame_path_bench: %.0f s in all\n", Us(Ticks() - begin) / 1e6);
    if (!mdPath.empty()) {
        std::FILE* out = std::fopen(mdPath.c_str(), "w");
        if (out == nullptr) {
            std::perror(mdPath.c_str());
            return 1;
        }
        WriteReport(out, results[0], results[1], results[2], convMono, convColour, calls);
        std::fclose(out);
    }
    bool ok = true;
    for (const ChildResult& r : results) {
        ok = ok && r.ok;
    }
    return ok ? 0 : 1;
}
