// Counts every heap allocation made while the plug-in logs: the honest check that the log
// path allocates nothing. Three layers are watched, on the logging thread only:
//   - C++ operator new (replaced in this program, so the plug-in's code and the statically
//     linked C++ runtime go through it);
//   - the C runtime's malloc family and the Win32/NT heap and Local/Global calls, through
//     the import table of every module loaded in the process, the C runtime's own included,
//     so an allocation inside a C runtime or system function is seen too.
// Allocations made inside ntdll itself or outside the process (the Wine server, the kernel)
// are not seen. Control allocations prove each layer is watched before anything is judged.
//   log_alloc_check [--trv_md=FILE]      exit 0: no allocation; 1: some; 2: check not effective
#include "infra/trv_log.h"
#include "log_line.h"
#include "log_reader.h"

#include <windows.h>

#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

enum Layer { kCxx, kCrt, kHeap, kLocalGlobal, kLayers };
const char* const kLayerNames[kLayers] = {"C++ new", "C runtime malloc family", "Win32/NT heap",
                                          "Local/Global"};

std::atomic<DWORD> gArmedThread{0};
std::atomic<long> gCount[kLayers];

void Note(Layer layer) {
    if (GetCurrentThreadId() == gArmedThread.load(std::memory_order_relaxed)) {
        gCount[layer].fetch_add(1, std::memory_order_relaxed);
    }
}

struct Counts {
    long n[kLayers] = {};
    long Total() const {
        long t = 0;
        for (long v : n) {
            t += v;
        }
        return t;
    }
};

// Counts what `run` allocates on this thread.
template <class Run> Counts Measure(Run run) {
    for (auto& c : gCount) {
        c.store(0);
    }
    gArmedThread.store(GetCurrentThreadId());
    run();
    gArmedThread.store(0);
    Counts counts;
    for (int i = 0; i < kLayers; ++i) {
        counts.n[i] = gCount[i].load();
    }
    return counts;
}

// ---- Hooks reached through the import tables. Each keeps the function it replaces.

// Kept as plain pointers: casts between unrelated function types are what -Werror forbids.
template <int Id> struct Original { static inline void* fn = nullptr; };

template <class F> F Call(void* p) {
    return reinterpret_cast<F>(p);
}

template <int Id> LPVOID WINAPI HeapAllocHook(HANDLE heap, DWORD flags, SIZE_T n) {
    Note(kHeap);
    return Call<LPVOID(WINAPI*)(HANDLE, DWORD, SIZE_T)>(Original<Id>::fn)(heap, flags, n);
}
template <int Id> LPVOID WINAPI HeapReAllocHook(HANDLE heap, DWORD flags, LPVOID p, SIZE_T n) {
    Note(kHeap);
    return Call<LPVOID(WINAPI*)(HANDLE, DWORD, LPVOID, SIZE_T)>(Original<Id>::fn)(heap, flags, p,
                                                                                  n);
}
template <int Id> HLOCAL WINAPI LocalAllocHook(UINT flags, SIZE_T n) {
    Note(kLocalGlobal);
    return Call<HLOCAL(WINAPI*)(UINT, SIZE_T)>(Original<Id>::fn)(flags, n);
}
template <int Id> void* __cdecl MallocHook(size_t n) {
    Note(kCrt);
    return Call<void*(__cdecl*)(size_t)>(Original<Id>::fn)(n);
}
template <int Id> void* __cdecl CallocHook(size_t n, size_t size) {
    Note(kCrt);
    return Call<void*(__cdecl*)(size_t, size_t)>(Original<Id>::fn)(n, size);
}
template <int Id> void* __cdecl ReallocHook(void* p, size_t n) {
    Note(kCrt);
    return Call<void*(__cdecl*)(void*, size_t)>(Original<Id>::fn)(p, n);
}

struct Target {
    const wchar_t* module;
    const char* name;
    void* hook;
    void** original;
    void* address = nullptr; // resolved
};

template <class F> void* AsProc(F f) {
    return reinterpret_cast<void*>(f);
}

std::vector<Target> Targets() {
    return {
        {L"ntdll.dll", "RtlAllocateHeap", AsProc(HeapAllocHook<0>), &Original<0>::fn},
        {L"kernel32.dll", "HeapAlloc", AsProc(HeapAllocHook<1>), &Original<1>::fn},
        {L"kernelbase.dll", "HeapAlloc", AsProc(HeapAllocHook<2>), &Original<2>::fn},
        {L"ntdll.dll", "RtlReAllocateHeap", AsProc(HeapReAllocHook<3>), &Original<3>::fn},
        {L"kernel32.dll", "HeapReAlloc", AsProc(HeapReAllocHook<4>), &Original<4>::fn},
        {L"kernelbase.dll", "HeapReAlloc", AsProc(HeapReAllocHook<5>), &Original<5>::fn},
        {L"kernel32.dll", "LocalAlloc", AsProc(LocalAllocHook<6>), &Original<6>::fn},
        {L"kernelbase.dll", "LocalAlloc", AsProc(LocalAllocHook<7>), &Original<7>::fn},
        {L"kernel32.dll", "GlobalAlloc", AsProc(LocalAllocHook<8>), &Original<8>::fn},
        {L"kernelbase.dll", "GlobalAlloc", AsProc(LocalAllocHook<9>), &Original<9>::fn},
        {L"msvcrt.dll", "malloc", AsProc(MallocHook<10>), &Original<10>::fn},
        {L"msvcrt.dll", "calloc", AsProc(CallocHook<11>), &Original<11>::fn},
        {L"msvcrt.dll", "realloc", AsProc(ReallocHook<12>), &Original<12>::fn},
    };
}

std::vector<Target> gTargets;

void ResolveTargets() {
    gTargets = Targets();
    for (size_t i = 0; i < gTargets.size(); ++i) {
        Target& t = gTargets[i];
        HMODULE module = GetModuleHandleW(t.module);
        void* address =
            module == nullptr ? nullptr : reinterpret_cast<void*>(GetProcAddress(module, t.name));
        // A forwarded export (kernel32's HeapAlloc is ntdll's) is hooked once, by its first
        // entry.
        for (size_t j = 0; j < i && address != nullptr; ++j) {
            if (gTargets[j].address == address) {
                address = nullptr;
            }
        }
        t.address = address;
        *t.original = address;
    }
}

// Replaces, in one module's import table, every slot holding a target's address.
int PatchModule(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) {
        return 0;
    }
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) {
        return 0;
    }
    int patched = 0;
    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         desc->Name != 0; ++desc) {
        for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
             slot->u1.Function != 0; ++slot) {
            for (const Target& t : gTargets) {
                if (t.address == nullptr ||
                    slot->u1.Function != reinterpret_cast<ULONG_PTR>(t.address)) {
                    continue;
                }
                DWORD old = 0;
                if (VirtualProtect(&slot->u1.Function, sizeof(ULONG_PTR), PAGE_READWRITE, &old)) {
                    slot->u1.Function = reinterpret_cast<ULONG_PTR>(t.hook);
                    VirtualProtect(&slot->u1.Function, sizeof(ULONG_PTR), old, &old);
                    ++patched;
                }
            }
        }
    }
    return patched;
}

// Every module loaded now; run again after something may have loaded more.
int PatchAllModules() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
    if (snap == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int patched = 0;
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Module32FirstW(snap, &entry); ok; ok = Module32NextW(snap, &entry)) {
        patched += PatchModule(entry.hModule);
    }
    CloseHandle(snap);
    return patched;
}

void EmptySharedLog() {
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 10000,
                                        L"TRV_LOG_MAPNAME");
    if (mapping == nullptr) {
        return;
    }
    if (auto* view = static_cast<wchar_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0))) {
        view[0] = 0;
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
}

// A viewer on its own thread, draining the log; its allocations are not counted.
class Viewer {
  public:
    Viewer() {
        m_thread = std::thread([this] {
            LogReader reader;
            m_ready = true;
            while (!m_stop) {
                reader.WaitForLine(20);
                for (wchar_t c : reader.Drain()) {
                    m_lines += c == L'\n' ? 1 : 0;
                }
            }
        });
        while (!m_ready) {
            Sleep(1);
        }
    }
    long Stop() {
        Sleep(100);
        m_stop = true;
        m_thread.join();
        return m_lines;
    }

  private:
    std::thread m_thread;
    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_stop{false};
    long m_lines = 0;
};

struct Row {
    std::string what;
    Counts counts;
    bool mustBeZero;
};

} // namespace

// ---- C++ allocation, replaced for the whole program.
void* operator new(size_t n) {
    Note(kCxx);
    if (void* p = std::malloc(n == 0 ? 1 : n)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](size_t n) {
    return ::operator new(n);
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    Note(kCxx);
    return std::malloc(n == 0 ? 1 : n);
}
void* operator new[](size_t n, const std::nothrow_t& t) noexcept {
    return ::operator new(n, t);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}
void* operator new(size_t n, std::align_val_t a) {
    Note(kCxx);
    if (void* p = _aligned_malloc(n == 0 ? 1 : n, static_cast<size_t>(a))) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](size_t n, std::align_val_t a) {
    return ::operator new(n, a);
}
void operator delete(void* p, std::align_val_t) noexcept {
    _aligned_free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    _aligned_free(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    _aligned_free(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    _aligned_free(p);
}

int main(int argc, char** argv) {
    std::string mdPath;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--trv_md=", 9) == 0) {
            mdPath = argv[i] + 9;
        } else {
            std::fprintf(stderr, "usage: log_alloc_check [--trv_md=FILE]\n");
            return 2;
        }
    }
    ResolveTargets();
    int patched = PatchAllModules();

    // Controls: each layer must see its own allocation, or the check proves nothing.
    std::vector<Row> rows;
    rows.push_back({"control: new and delete of an int", Measure([] {
                        int* volatile p = new int(1);
                        delete p;
                    }),
                    false});
    rows.push_back({"control: malloc and free", Measure([] {
                        void* volatile p = std::malloc(24);
                        std::free(p);
                    }),
                    false});
    rows.push_back({"control: _wcsdup (allocates inside the C runtime)", Measure([] {
                        wchar_t* p = _wcsdup(L"inside");
                        std::free(p);
                    }),
                    false});
    rows.push_back({"control: HeapAlloc on the process heap", Measure([] {
                        HeapFree(GetProcessHeap(), 0, HeapAlloc(GetProcessHeap(), 0, 24));
                    }),
                    false});
    rows.push_back(
        {"control: LocalAlloc", Measure([] { LocalFree(LocalAlloc(LMEM_FIXED, 24)); }), false});
    const bool effective = rows[0].counts.n[kCxx] > 0 && rows[1].counts.n[kCrt] > 0 &&
                           rows[2].counts.n[kHeap] > 0 && rows[3].counts.n[kHeap] > 0 &&
                           rows[4].counts.n[kLocalGlobal] > 0;

    EmptySharedLog();
    rows.push_back({"first line of the process (opens the section, mutex and event)",
                    Measure([] { bench::WriteLogLine(1); }), false});
    patched += PatchAllModules(); // whatever the first use loaded
    constexpr uint32_t kLines = 2000;
    EmptySharedLog();
    rows.push_back({std::to_string(kLines) + " lines, no viewer (the buffer fills, then drops)",
                    Measure([] {
                        for (uint32_t i = 0; i < kLines; ++i) {
                            bench::WriteLogLine(i);
                        }
                    }),
                    true});
    EmptySharedLog();
    long viewed = 0;
    {
        Viewer viewer;
        patched += PatchAllModules();
        rows.push_back({std::to_string(kLines) +
                            " lines, a viewer draining (window found, event set per line)",
                        Measure([] {
                            for (uint32_t i = 0; i < kLines; ++i) {
                                bench::WriteLogLine(i);
                                if (i % 64 == 0) {
                                    Sleep(1); // let the viewer drain, so lines are appended
                                }
                            }
                        }),
                        true});
        viewed = viewer.Stop();
    }

    long steady = 0;
    for (const Row& row : rows) {
        if (row.mustBeZero) {
            steady += row.counts.Total();
        }
    }
    const char* verdict = !effective    ? "check not effective: a control was not seen"
                          : steady == 0 ? "no allocation on the log path"
                                        : "the log path allocates";
    std::printf("import slots hooked: %d\n", patched);
    for (const Row& row : rows) {
        std::printf("%-80s", row.what.c_str());
        for (long v : row.counts.n) {
            std::printf(" %6ld", v);
        }
        std::printf("\n");
    }
    std::printf("viewer read %ld lines\nresult: %s\n", viewed, verdict);

    if (!mdPath.empty()) {
        std::FILE* out = std::fopen(mdPath.c_str(), "w");
        if (out == nullptr) {
            std::perror(mdPath.c_str());
            return 2;
        }
        std::fprintf(out,
                     "\n### Heap allocations on the log path (Windows build under Wine)\n\n"
                     "`bench/log_alloc_check.cpp` replaces C++ `operator new` and hooks the "
                     "import slots of every loaded module (%d slots) for the C runtime's "
                     "malloc, calloc and realloc, HeapAlloc/HeapReAlloc/RtlAllocateHeap/"
                     "RtlReAllocateHeap and LocalAlloc/GlobalAlloc, counting calls made on "
                     "the logging thread. Allocations inside ntdll itself or outside the "
                     "process are not seen. Lines as in the log benchmark; the viewer read "
                     "%ld lines.\n\n| Case |",
                     patched, viewed);
        for (const char* name : kLayerNames) {
            std::fprintf(out, " %s |", name);
        }
        std::fprintf(out, "\n|---|---:|---:|---:|---:|\n");
        for (const Row& row : rows) {
            std::fprintf(out, "| %s |", row.what.c_str());
            for (long v : row.counts.n) {
                std::fprintf(out, " %ld |", v);
            }
            std::fprintf(out, "\n");
        }
        std::fprintf(out, "\nResult: **%s**.\n", verdict);
        std::fclose(out);
    }
    return !effective ? 2 : steady == 0 ? 0 : 1;
}
