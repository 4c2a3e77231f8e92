// The session recorder: host commands, camera-library calls, camera events, frames and log
// lines into one file of JSON lines (FORMAT.md). Off unless TRV_RECORD or the host settings key
// "RecordFile" names a file; while off, each hook costs one test of gRecording.
#pragma once

#include <windows.h>

#include <cstdint>

// Bit 0: a recording runs. Bit 1: it has stopped, and a thread still has to finish its log
// line before it logs why (the log hook stays on for that).
extern volatile LONG gRecording;

inline bool Recording() {
    return (gRecording & 1) != 0;
}

// Host commands, under gCmdLock. The first command looks at TRV_RECORD once; a start that runs
// the full start-up looks at "RecordFile" in the section it brings.
void RecordCommand(int32_t code, intptr_t param);
void RecordReturn(int32_t code, intptr_t param, int32_t result);

// The calling thread is the camera thread (its records say so).
void RecordCameraThread();

void RecordEventNow(WPARAM code, LPARAM cam);
void RecordFrameNow(const unsigned char* pixels, int32_t width, int32_t height, int32_t size,
                    uint64_t taken);
void RecordLogNow(const char* piece);
void RecordLogNow(const wchar_t* piece);
uint64_t RecordMarkNow();
void RecordDropNow(const char* why);
void RecordSettingNow(const char* file, const wchar_t* section, const wchar_t* key, int value);
void RecordSettingNow(const char* file, const wchar_t* section, const wchar_t* key,
                      const wchar_t* value);
void RecordProbeNow(const wchar_t* path, bool found);

// A camera event as the camera window's procedure receives it.
inline void RecordEvent(UINT msg, WPARAM code, LPARAM cam) {
    if (Recording() && msg == 0x0500) { // IS_UEYE_MESSAGE
        RecordEventNow(code, cam);
    }
}
// What the host's frame callback is about to receive; `taken` is the RecordMark of the moment
// the frame path took the command lock for it.
inline void RecordFrame(const unsigned char* pixels, int32_t width, int32_t height, int32_t size,
                        uint64_t taken = 0) {
    if (Recording()) {
        RecordFrameNow(pixels, width, height, size, taken);
    }
}
// The number of records written so far: which commands ran before this moment (0: none).
inline uint64_t RecordMark() {
    return Recording() ? RecordMarkNow() : 0;
}
// A frame event that is not handed over, and why (null: it is).
inline void RecordDrop(const char* why) {
    if (Recording() && why != nullptr) {
        RecordDropNow(why);
    }
}
// A value read from the host settings file ("host") or the configuration folder ("config").
template <class Value>
inline void RecordSetting(const char* file, const wchar_t* section, const wchar_t* key,
                          Value value) {
    if (Recording()) {
        RecordSettingNow(file, section, key, value);
    }
}
// Whether a file the plug-in looked for was there.
inline void RecordProbe(const wchar_t* path, bool found) {
    if (Recording()) {
        RecordProbeNow(path, found);
    }
}
// A piece of a log line, after the log took it; whole lines are recorded per thread.
template <class Char> inline void RecordLog(const Char* piece) {
    if (gRecording != 0) {
        RecordLogNow(piece);
    }
}

// Starts a recording into `path` (a file that exists is never overwritten: ".1", ".2", ...
// go before its extension). For the recorder's own tests and benchmarks; the plug-in starts
// through RecordCommand. False, with one log line, when no file can be made.
bool RecordStart(const wchar_t* path, const char* chosenBy, const wchar_t* settingsFile,
                 const wchar_t* section, uint64_t maxBytes, uint32_t thumbEvery);
// Ends the recording with an "end" record ("detach" when the library is unloaded).
void RecordStop(const char* why);
