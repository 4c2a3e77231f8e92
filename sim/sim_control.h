// Control API of the simulated camera library: configure cameras, cue calls to fail or answer
// otherwise, read the cameras' state and the journal of every call the plug-in made.
//
// Journal lines: "<call> <arguments> -> <result>[ <out-values>]", for example
//   "is_CameraCount -> 0 count=2"   "is_AOI hCam=1 cmd=1 size=16 in=0,0,640,480 -> 0"
//   "is_AOI hCam=1 cmd=2 size=16 -> 0 x=0 y=0 w=640 h=480"
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef TRV_UEYE_SIM_BUILD
// The simulator's .def exports these; dllexport too would name each export twice.
#define SIM_API extern "C"
#else
#define SIM_API extern "C" __declspec(dllimport)
#endif

// What the camera list says of a camera.
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

// Byte `offset` (0 to 3) of frame `frame`'s number, little-endian, as the first four and the
// last four bytes of the image memory hold it (the picture itself: sim_picture.h). Later
// offsets give a position-dependent filler pattern.
inline uint8_t sim_pattern_byte(uint32_t frame, size_t offset) {
    if (offset < 4) {
        return static_cast<uint8_t>(frame >> (8 * offset));
    }
    return static_cast<uint8_t>(offset * 7 + frame);
}

// Counters over the whole run since the last sim_reset.
struct SimStats {
    int32_t allocations;       // image memory blocks allocated
    int32_t frees;             // blocks freed by the free call
    int32_t liveBlocks;        // blocks allocated and not yet freed
    int32_t badFrees;          // free calls of a block unknown or already freed
    int32_t freedByExit;       // blocks the camera-exit call had to free itself
    int32_t closedHandleCalls; // calls on a handle that is not open
    uint32_t framesPosted;     // frame events posted, all cameras
    uint32_t transferFailures; // frames the cameras could not write into their memory
};

// Without TRV_SIM_CONFIG the library starts with one colour camera, serial "4002870123",
// 1280 x 1024. TRV_SIM_CONFIG names an INI file: sections [camera1] ... [camera8] take the
// camera keys of sim_configure, section [library] the library keys.
//
// Removes every camera, cue, counter and journal line.
SIM_API void sim_reset();
// Adds a camera with the default limits, area of interest and timing; returns its index.
SIM_API int sim_add_camera(const SimCamera* camera);
SIM_API int sim_camera_count();

// Sets one value of camera `index` (index -1: of the library); 0, or -1 for an unknown key,
// a value that does not parse, or no such camera. Camera keys, numbers decimal or 0x hex:
//   serial, info (text)      camera_id, device, in_use, status, color
//   width, height            sensor size; also resets the maximal size and the area of interest
//   aoi "x y w h"            aoi_pos_min, aoi_size_min, aoi_size_max, aoi_pos_step,
//   aoi_size_step "a b"      aoi_full "a b" (answers of is_AOI 19 and 20)
//   binning, subsampling     factor bits
//   exposure_range "min max inc"   exposure (ms)      fps      frame_time_range "min max inc" (s)
//   trigger, trigger_supported     strobe             io_limits "lower upper"
//   user_memory (hex bytes)  user_memory_size (the size the camera reports; -1: the real one)
//   stalled 0/1 (live but posting nothing)
//   sensor_info_bytes (44 to 4096, default 64: how many bytes the sensor-information call writes)
// Library keys: count_extra (added to the camera count), list_count (the count the list call
// writes back; -1: the number of entries written).
SIM_API int sim_configure(int index, const char* key, const char* value);
// Reads one value of camera `index` in the form sim_configure takes, plus the read-only keys
// handle (0 while closed), live, color_mode, output ("selected base level applies"); its
// length, or -1.
SIM_API int sim_query(int index, const char* key, char* buffer, int capacity);

// ---- Cues: what a call does differently, and when ----
//
// A cue is one line of text, "HEAD ACTION...":
//   HEAD    call[:command][@camN][#n | #n+ | #n-m]
//     call      a call's name, "is_AOI"
//     :command  only calls with this command (decimal or 0x hex). The command is the call's
//               command argument, and the mode or wait argument of is_StopLiveVideo,
//               is_CaptureVideo, is_TriggerMode, is_Binning, is_Subsampling, is_DisplayMode
//               and is_ColorMode, and the event code of is_EventMessage
//     @camN     only calls on simulated camera N (its index); for is_CameraInit the camera the
//               call would open. Without it: calls on any camera, and calls on none
//     #n        the n-th matching call counted from when the cue is added (the default: #1);
//               #n+ that one and every later one; #n-m the n-th to the m-th
//   ACTION  one or more of
//     = CODE        answer CODE instead of the call's body ("is_StopLiveVideo#2 = 125")
//     out K=V ...   the body runs, then these out-values are written over what it wrote back
//                   ("is_AOI:6@cam1#1+ out w=640 h=480"); needs the command for the calls
//                   that have commands
//     event C[@camN] posts event code C of the call's camera (or of camera N) to the window
//                   registered for it, right after the call ("is_CaptureVideo#1 event 3")
// Several cues in one text are separated by ';'. The cues that match a call all act on it, in
// the order they were added; the first "=" among them wins.
//
// Out-values, as the journal prints them after the result (every call also takes result=N,
// its answer after the body: for the queries whose answer is their result, the trigger
// modes of is_TriggerMode, the factor bits of is_Binning and is_Subsampling, the live state
// of is_CaptureVideo with 0x8000, the colour mode of is_ColorMode with 0x8000):
//   is_CameraCount     count=N
//   is_CameraList      count=N (the count word) entryK=cameraId,deviceId,inUse,status,serial,info
//                      (entry K from 0, within the buffer; texts of at most 16 characters,
//                      '-' for an empty one)
//   is_CameraInit      hCam=N            is_InitRetryQuery  value=N
//   is_SensorInfo      color=N width=N height=N
//   is_ImageMemAlloc   id=N (the memory id; the block stays the one allocated)
//   is_AOI             :2 x= y= w= h=   :6 :8 :16 :18 w= h=   :7 :17 x= y=   :19 :20 full=
//   is_Exposure        :6 min= max= inc=   :7 :12 ms=
//   is_FrameRate       new=              is_FrameTimeRange  min= max= inc= (seconds)
//   is_CaptureStatus   :2 total=N cC=N (the counter of status code C, 0 to 255, decimal)
//   is_IO              :22 :23 limit= (the first double)
//   is_CameraMemory    :6 size=N   :4 bytes=HEX (into the read's buffer, at most its count)
//   the other calls    none
// Numbers are decimal or 0x hex, doubles as strtod reads them.
//
// Adds the cues of `text`; 0, or -1, with none of them added, when one does not parse (an
// unknown call, key or value, or no action).
SIM_API int sim_cue(const char* text);
// At the calls HEAD matches, calls `callback(arg)` on the calling thread before the body runs,
// outside the library's lock (it may call this API). 0, or -1 when HEAD does not parse.
typedef void (*SimCueCallback)(void* arg);
SIM_API int sim_cue_callback(const char* head, SimCueCallback callback, void* arg);
// Cues that have not acted on any call yet: their number, and the text of the first.
SIM_API int sim_cue_unfired(char* buffer, int capacity);
// The next `count` calls of `call` ("is_IO:22") answer `result`: the cue "call#1-count = result"
// (and "@camN" for one camera only).
SIM_API void sim_fail(const char* call, int32_t result, int count);
SIM_API void sim_fail_camera(int index, const char* call, int32_t result, int count);

// Frames a second of live video, for every camera and for cameras added later.
SIM_API void sim_set_fps(int32_t fps);
// Raises the capture-status counters (total, and the counter of `statusCode` by `count`)
// and posts event `code` of camera `index` to the window registered for that code. -1 when
// the camera is not open or no window is registered.
SIM_API int sim_post_event(int index, int32_t code, uint32_t total, int statusCode, uint32_t count);
// One frame of a camera waiting in a hardware trigger mode. -1 when it is not live.
SIM_API int sim_hardware_trigger(int index);
// Every camera-init call waits this long first.
SIM_API void sim_set_init_delay_ms(uint32_t ms);
// Frames written and posted so far by camera `index`.
SIM_API uint32_t sim_frames_posted(int index);
// When frame `frame` of camera `index` was posted, in microseconds of the performance
// counter; -1 when it is not among the last 4096 frames.
SIM_API int64_t sim_post_time_us(int index, uint32_t frame);
SIM_API void sim_stats(SimStats* stats);

SIM_API int sim_journal_count();
// Copies line `index` into `buffer`; returns its length, or -1 past the end.
SIM_API int sim_journal_line(int index, char* buffer, int capacity);
SIM_API void sim_journal_clear();
