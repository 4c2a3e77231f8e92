// The allocation counter: hooks in the import tables and the program's own operator new.
#include "alloc_count.h"

#include <windows.h>

#include <tlhelp32.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

namespace alloccount {

const char* const kLayerNames[kLayers] = {"C++ new", "C runtime malloc family", "Win32/NT heap",
                                          "Local/Global"};

namespace {

std::atomic<DWORD> gArmedThread{0};
std::atomic<long> gCount[kLayers];

} // namespace

void Note(Layer layer) {
    if (GetCurrentThreadId() == gArmedThread.load(std::memory_order_relaxed)) {
        gCount[layer].fetch_add(1, std::memory_order_relaxed);
    }
}

void Arm() {
    for (auto& c : gCount) {
        c.store(0);
    }
    gArmedThread.store(GetCurrentThreadId());
}

Counts Disarm() {
    gArmedThread.store(0);
    Counts counts;
    for (int i = 0; i < kLayers; ++i) {
        counts.n[i] = gCount[i].load();
    }
    return counts;
}

namespace {

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

} // namespace

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

namespace {

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

} // namespace

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

} // namespace alloccount

using alloccount::kCxx;
using alloccount::Note;

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
