// Control API of the simulated camera library: configure cameras, inject faults and read
// the journal of every call the plug-in made.
//
// Journal lines: "<call> <name>=<value> ... -> <result>", for example
//   "is_CameraCount -> 0 count=2"   "is_AOI hCam=1 cmd=2 size=16 -> 0"
#pragma once

#include <cstdint>

#ifdef TRV_UEYE_SIM_BUILD
#define SIM_API extern "C" __declspec(dllexport)
#else
#define SIM_API extern "C" __declspec(dllimport)
#endif

struct SimCamera {
    char serial[17]; // up to 16 characters; 16 fill the list entry without terminator
    char info[17];
    uint32_t cameraId;
    uint32_t deviceId;
    uint32_t inUse;
    uint32_t status;
    uint8_t colorKind; // 2 or 4: colour, else monochrome
    uint32_t maxWidth;
    uint32_t maxHeight;
};

// Removes every camera, fault and journal line.
SIM_API void sim_reset();
// Adds a camera; returns its index.
SIM_API int sim_add_camera(const SimCamera* camera);
SIM_API int sim_camera_count();

// The next `count` calls of `call` (for example "is_CameraInit") answer `result`.
SIM_API void sim_fail(const char* call, int32_t result, int count);

SIM_API int sim_journal_count();
// Copies line `index` into `buffer`; returns its length, or -1 past the end.
SIM_API int sim_journal_line(int index, char* buffer, int capacity);
SIM_API void sim_journal_clear();
