// Counts the heap allocations one thread makes, in three layers: C++ operator new (replaced
// for the whole program), the C runtime's malloc family and the Win32/NT heap and Local/Global
// calls (through the import table of every module loaded in the process, the C runtime's own
// included). Allocations made inside ntdll itself or outside the process are not seen.
#pragma once

namespace alloccount {

enum Layer { kCxx, kCrt, kHeap, kLocalGlobal, kLayers };
extern const char* const kLayerNames[kLayers];

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

// Counting is armed for the calling thread only.
void Arm();
Counts Disarm();

// Counts what `run` allocates on this thread.
template <class Run> Counts Measure(Run run) {
    Arm();
    run();
    return Disarm();
}

// Finds the functions to watch; once, before the first patch.
void ResolveTargets();
// Hooks every module loaded now; run again after something may have loaded more. Returns the
// number of import slots patched.
int PatchAllModules();

} // namespace alloccount
