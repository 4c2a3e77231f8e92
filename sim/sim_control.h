// Control API of the simulated camera library: configure cameras, inject faults and read
// the journal of every call the plug-in made.
//
// Journal lines: "<call> <name>=<value> ... -> <result>", for example
//   "is_CameraCount -> 0 count=2"   "is_AOI hCam=1 cmd=2 size=16 -> 0"
#pragma once

#include <cstddef>
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

// A camera description: colour kind 2 or 4 colour, else monochrome; texts cut to 16 bytes.
inline SimCamera sim_camera(const char* serial, uint32_t deviceId, uint8_t colorKind,
                            uint32_t maxWidth, uint32_t maxHeight) {
    SimCamera c = {};
    for (int i = 0; i < 16 && serial[i] != 0; ++i) {
        c.serial[i] = serial[i];
    }
    c.info[0] = 's';
    c.info[1] = 'i';
    c.info[2] = 'm';
    c.cameraId = deviceId;
    c.deviceId = deviceId;
    c.colorKind = colorKind;
    c.maxWidth = maxWidth;
    c.maxHeight = maxHeight;
    return c;
}

// Byte `offset` of frame `frame` in the image memory: the frame number in the first four
// bytes (little-endian), a position-dependent pattern after them.
inline uint8_t sim_pattern_byte(uint32_t frame, size_t offset) {
    if (offset < 4) {
        return static_cast<uint8_t>(frame >> (8 * offset));
    }
    return static_cast<uint8_t>(offset * 7 + frame);
}

// Without TRV_SIM_CONFIG the library starts with one colour camera, serial "4002870123",
// 1280 x 1024; TRV_SIM_CONFIG names an INI file with sections [camera1] ... [camera8]
// (keys serial, device, color, width, height); an empty value means no camera.
// Removes every camera, fault and journal line.
SIM_API void sim_reset();
// Adds a camera; returns its index.
SIM_API int sim_add_camera(const SimCamera* camera);
SIM_API int sim_camera_count();

// The next `count` calls of `call` (for example "is_CameraInit") answer `result`.
SIM_API void sim_fail(const char* call, int32_t result, int count);

// Frames a second of live video, for every camera.
SIM_API void sim_set_fps(int32_t fps);
// Raises the capture-status counters (total, and the counter of `statusCode` by `count`)
// and posts event `code` of camera `index` to the window registered for frames. -1 when the
// camera is not open with a window.
SIM_API int sim_post_event(int index, int32_t code, uint32_t total, int statusCode, uint32_t count);
// Every camera-init call waits this long first.
SIM_API void sim_set_init_delay_ms(uint32_t ms);
// Frames written and posted so far by camera `index`.
SIM_API uint32_t sim_frames_posted(int index);

SIM_API int sim_journal_count();
// Copies line `index` into `buffer`; returns its length, or -1 past the end.
SIM_API int sim_journal_line(int index, char* buffer, int capacity);
SIM_API void sim_journal_clear();
