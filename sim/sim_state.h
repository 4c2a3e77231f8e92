// State shared by the simulator's calls: cameras, faults and the journal.
#pragma once

#include "sim_control.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

struct Camera {
    SimCamera config;
    uint32_t handle = 0; // 0 while not open
};

struct State {
    std::mutex lock;
    std::vector<Camera> cameras;
    std::map<std::string, std::pair<int32_t, int>> faults; // call -> result, calls left
    std::vector<std::string> journal;
    uint32_t nextHandle = 1;
};

State& Get();

// Takes a pending fault of `call`; true with `result` set when one applies.
bool TakeFault(State& s, const char* call, int32_t& result);

// Camera open under `handle`, or null.
Camera* Open(State& s, uint32_t handle);

} // namespace sim
