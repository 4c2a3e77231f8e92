// State shared by the simulator's calls: cameras, faults and the journal.
#pragma once

#include "sim_control.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

struct Memory {
    int32_t width, height, bits;
};

struct Camera {
    SimCamera config;
    uint32_t handle = 0;        // 0 while not open
    HWND frameWindow = nullptr; // registered for event 0
    char* activeMemory = nullptr;
    bool live = false;
    uint32_t framesPosted = 0;
    uint32_t statusTotal = 0; // capture-status counters, cleared by their reset
    uint32_t statusCounts[256] = {};
};

struct State {
    std::mutex lock;
    std::vector<Camera> cameras;
    std::map<std::string, std::pair<int32_t, int>> faults; // call -> result, calls left
    std::vector<std::string> journal;
    uint32_t nextHandle = 1;
    std::map<char*, Memory> memory; // allocated blocks
    int32_t fps = 30;
    DWORD initDelayMs = 0;
    HANDLE liveThread = nullptr;
};

State& Get();

// Takes a pending fault of `call`; true with `result` set when one applies.
bool TakeFault(State& s, const char* call, int32_t& result);

// Starts the thread that writes frames into the live cameras' memory and posts their events.
void StartLiveThread(State& s);

// Camera open under `handle`, or null.
Camera* Open(State& s, uint32_t handle);

} // namespace sim
