// The records of a session recording, one JSON object a line (FORMAT.md beside this file).
// Pure code, no OS headers: the Windows side only fills in times, threads and the file.
#pragma once

#include "json_line.h"

#include <cstddef>
#include <cstdint>

namespace trv::rec {

// Raised whenever a reader of an older recording would misread a newer one.
constexpr int kFormatVersion = 1;

constexpr int kThumbWidth = 16;
constexpr int kThumbHeight = 12;
constexpr size_t kThumbBytes = kThumbWidth * kThumbHeight * 3;

// What every record after the header begins with.
struct Stamp {
    uint64_t n;  // record number: 1 up, the order of the lines
    int64_t t;   // microseconds since the session began
    int32_t th;  // thread number: 1 up, in the order the threads first wrote a record
    uint64_t ts; // the thread's own record number: 1 up
};

// Opens the record: {"k":kind,"n":..,"t":..,"th":..,"ts":..; the caller adds fields, then
// Close and End.
void BeginRecord(JsonLine& j, const char* kind, const Stamp& s);

// The first line of a file, opened and closed here.
template <class Unit> struct Header {
    const char* version; // the plug-in's
    const char* started; // UTC, "2024-05-01T12:00:00.000Z"
    uint32_t processId;
    const char* chosenBy;     // "TRV_RECORD" or "RecordFile"
    const Unit* settingsFile; // where the key was read, null when chosen by the variable
    const Unit* section;
    const Unit* file; // the file being written
    uint64_t maxBytes;
    uint32_t thumbEvery;
};

template <class Unit> void WriteHeader(JsonLine& j, const Header<Unit>& h) {
    j.Open();
    j.Key("k").Text("header");
    j.Key("format").Int(kFormatVersion);
    j.Key("n").UInt(0);
    j.Key("t").Int(0);
    j.Key("plugin").Text(h.version);
    j.Key("started").Text(h.started);
    j.Key("pid").UInt(h.processId);
    j.Key("chosenBy").Text(h.chosenBy);
    j.Key("settingsFile").Wide(h.settingsFile);
    j.Key("section").Wide(h.section);
    j.Key("file").Wide(h.file);
    j.Key("maxBytes").UInt(h.maxBytes);
    j.Key("thumbEvery").UInt(h.thumbEvery);
    j.Key("thumbSize").OpenArray();
    j.Int(kThumbWidth);
    j.Int(kThumbHeight);
    j.CloseArray();
    j.Close();
}

// "thread": a thread's first record. `role` is "camera", "host" (it entered TrvCmd) or "other".
void ThreadFields(JsonLine& j, uint32_t threadId, const char* role);

// The name of a command code, null for codes without a handler.
const char* CommandName(int32_t code);

// "cmd": the code and what the host handed over, decoded per command. Reads only the bytes
// of the block that the command itself reads.
void CommandFields(JsonLine& j, int32_t code, intptr_t param);

// "ret": the answer and what the command left in the host's block.
void ReturnFields(JsonLine& j, int32_t code, intptr_t param, int32_t result, int64_t micros);

// "ev": a camera event taken from the camera window's queue.
void EventFields(JsonLine& j, uint64_t code, uint32_t cam);

// "frame": what the host's frame callback is handed; `thumb` (kThumbBytes) or null. `taken`:
// the records written when the frame path took the command lock for it (0: not known).
void FrameFields(JsonLine& j, uint64_t number, const void* pixels, int32_t width, int32_t height,
                 int32_t size, const uint8_t* thumb, uint64_t taken = 0);

// "drop": why a frame event was not handed over: "lock" (a command held the command lock),
// "newer" (the next queued event is a newer frame), "buffer", "nocam", "nocallback".
void DropFields(JsonLine& j, const char* why);

// "setting": a value the plug-in read from an INI file: `file` "host" (the host settings file)
// or "config" (tarvello.ini in the configuration folder), the section, the key and the value
// read (the default when the key is absent).
template <class Unit>
void SettingFields(JsonLine& j, const char* file, const Unit* section, const Unit* key) {
    j.Key("file").Text(file);
    j.Key("section").Wide(section);
    j.Key("key").Wide(key);
    j.Key("value");
}

// "probe": whether a file the plug-in looked for was there.
template <class Unit> void ProbeFields(JsonLine& j, const Unit* path, bool found) {
    j.Key("path").Wide(path);
    j.Key("found").Bool(found);
}

// "log": one whole line of the plug-in's log, without its line feed.
template <class Unit> void LogFields(JsonLine& j, const Unit* text, size_t length, bool cut) {
    j.Key("text").Wide(text, length);
    if (cut) {
        j.Key("cut").Bool(true);
    }
}

// "end": the last line, when the session ends ("detach"), reaches its size limit ("cap") or
// cannot be written on ("write-error", written only if the file takes it).
void EndFields(JsonLine& j, const char* why, uint64_t records, uint64_t bytes);

// A 16 x 12 picture of a 24-bit frame: each pixel the mean of up to 8 x 8 pixels spread evenly
// over its cell, bytes in the frame's own order. False, `out` untouched, when the frame is
// empty or `size` is short of width x height x 3.
bool MakeThumbnail(const uint8_t* pixels, int32_t width, int32_t height, int32_t size,
                   uint8_t* out);

} // namespace trv::rec
