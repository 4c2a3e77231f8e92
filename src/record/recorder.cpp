// Every kernel call of the session recorder is in this file: the lock, the file, the clock.
#include "recorder.h"

#include "infra/globals.h"
#include "infra/log_buffer.h"
#include "infra/settings.h"
#include "infra/settings_path_rules.h"
#include "infra/trv_log.h"
#include "record/record_format.h"
#include "record/record_writer.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#ifndef TRV_VERSION_TEXT
#define TRV_VERSION_TEXT "unknown"
#endif

volatile LONG gRecording = 0;

namespace {

constexpr LONG kOn = 1;           // gRecording: a recording runs
constexpr LONG kStopLineOwed = 2; // gRecording: a thread still logs why it stopped
constexpr uint64_t kMiB = 1024 * 1024;
constexpr int kDefaultMaxMiB = 256;
constexpr int kDefaultThumbEvery = 30;
constexpr size_t kPathUnits = 1024;
constexpr size_t kLineUnits = 2048;
constexpr size_t kBufferBytes = 64 * 1024;
constexpr int kMostNumbered = 999;

struct Session {
    HANDLE file = INVALID_HANDLE_VALUE;
    bool active = false; // read and written under gLock
    uint32_t id = 0;     // tells thread numbers of an earlier session apart
    uint64_t bytes = 0;
    uint64_t maxBytes = 0;
    uint64_t records = 0;
    int32_t threads = 0;
    uint32_t thumbEvery = 0;
    DWORD writeError = 0;
    int64_t startTicks = 0;
    char buffer[kBufferBytes];
};

CRITICAL_SECTION gLock;
INIT_ONCE gLockOnce = INIT_ONCE_STATIC_INIT;
Session gSession;
volatile LONG gFrameCount = 0;
volatile DWORD gCameraThreadId = 0;
bool gEnvironmentRead = false; // under gCmdLock
int64_t gCommandStart = 0;     // under gCmdLock: commands never overlap
wchar_t gRecordFile[kPathUnits];

// What each thread keeps: its number, its records, and the log line it is writing.
struct ThreadState {
    uint32_t session;
    int32_t number; // 0 until its first record of the session
    bool host;      // it entered TrvCmd
    uint64_t records;
    size_t lineLength;
    bool lineCut;
    bool inLogPiece;
    const char* owedStop; // why the recording stopped, logged when this thread's line ends
    uint64_t owedMaxBytes;
    DWORD owedError;
    wchar_t line[kLineUnits];
};
thread_local ThreadState tThread;

int64_t gTicksPerSecond = 1; // set with the lock, before the first session

BOOL CALLBACK InitLock(PINIT_ONCE, PVOID, PVOID*) {
    InitializeCriticalSection(&gLock);
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    gTicksPerSecond = static_cast<int64_t>(f.QuadPart);
    return TRUE;
}

bool WriteToFile(void* context, const char* data, size_t size) {
    Session* s = static_cast<Session*>(context);
    DWORD done = 0;
    if (WriteFile(s->file, data, static_cast<DWORD>(size), &done, nullptr) && done == size) {
        return true;
    }
    s->writeError = GetLastError();
    return false;
}

// Under gLock: the "end" record, and the file closed.
void EndSession(const char* why) {
    trv::JsonLine j(gSession.buffer, kBufferBytes, WriteToFile, &gSession);
    const trv::rec::Stamp s = {++gSession.records, RecordMicrosSince(gSession.startTicks), 0, 0};
    trv::rec::BeginRecord(j, "end", s);
    trv::rec::EndFields(j, why, gSession.records, gSession.bytes);
    j.Close();
    j.End();
    CloseHandle(gSession.file);
    gSession.file = INVALID_HANDLE_VALUE;
    gSession.active = false;
    InterlockedAnd(&gRecording, ~kOn);
}

// Under gLock: the thread's stamp, after the record that introduces a thread new to the
// session.
trv::rec::Stamp NextStamp() {
    ThreadState& t = tThread;
    if (t.session != gSession.id) {
        t.session = gSession.id;
        t.number = ++gSession.threads;
        t.records = 0;
        const DWORD id = GetCurrentThreadId();
        const char* role = id == gCameraThreadId ? "camera" : t.host ? "host" : "other";
        trv::JsonLine j(gSession.buffer, kBufferBytes, WriteToFile, &gSession);
        const trv::rec::Stamp s = {++gSession.records, RecordMicrosSince(gSession.startTicks),
                                   t.number, ++t.records};
        trv::rec::BeginRecord(j, "thread", s);
        trv::rec::ThreadFields(j, id, role);
        j.Close();
        j.End();
        gSession.bytes += j.Written();
    }
    return {++gSession.records, RecordMicrosSince(gSession.startTicks), t.number, ++t.records};
}

void LogStopNow(const char* why, uint64_t maxBytes, DWORD error) {
    if (std::strcmp(why, "cap") == 0) {
        const bool whole = maxBytes % kMiB == 0;
        gLog.Write("TrvRecord: size limit of ");
        LogUInt(static_cast<uint32_t>(maxBytes / (whole ? kMiB : 1024)));
        gLog.Write(whole ? " MiB reached, recording stopped\n"
                         : " KiB reached, recording stopped\n");
    } else {
        gLog.Write("TrvRecord: cannot write the recording, error ");
        LogUInt(error);
        gLog.Write(", recording stopped\n");
    }
}

// The line that says why the recording stopped, by the thread that stopped it, but never in
// the middle of one of its own lines: then it comes when that line ends.
void LogStop(const char* why, uint64_t maxBytes, DWORD error) {
    ThreadState& t = tThread;
    if (t.lineLength == 0 && !t.inLogPiece) {
        LogStopNow(why, maxBytes, error);
        return;
    }
    t.owedStop = why;
    t.owedMaxBytes = maxBytes;
    t.owedError = error;
    InterlockedOr(&gRecording, kStopLineOwed);
}

// `path` with ".k" before its extension, into dst.
bool Numbered(const wchar_t* path, int k, wchar_t* dst) {
    const wchar_t* dot = std::wcsrchr(path, L'.');
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    if (dot == nullptr || (slash != nullptr && dot < slash) || dot == path) {
        dot = path + std::wcslen(path);
    }
    const int n =
        std::swprintf(dst, kPathUnits, L"%.*ls.%d%ls", static_cast<int>(dot - path), path, k, dot);
    return static_cast<size_t>(n) < kPathUnits; // an error (-1) reads as too long
}

// A new file: never one that exists.
HANDLE CreateNew(const wchar_t* path, wchar_t* chosen) {
    trv::CopyBounded(chosen, kPathUnits, path);
    for (int k = 1;; ++k) {
        HANDLE h = CreateFileW(chosen, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS || k > kMostNumbered ||
            !Numbered(path, k, chosen)) {
            return h;
        }
    }
}

void UtcNow(char* text, size_t capacity) {
    SYSTEMTIME t;
    GetSystemTime(&t);
    std::snprintf(text, capacity, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

struct RecordKeys {
    uint64_t maxBytes;
    uint32_t thumbEvery;
};

RecordKeys ReadRecordKeys(const wchar_t* file, const wchar_t* section) {
    int maxMiB = kDefaultMaxMiB;
    int thumbEvery = kDefaultThumbEvery;
    if (file[0] != 0) {
        maxMiB = static_cast<int>(GetPrivateProfileIntW(section, L"RecordMaxMB", maxMiB, file));
        thumbEvery =
            static_cast<int>(GetPrivateProfileIntW(section, L"RecordThumbEvery", thumbEvery, file));
    }
    return {static_cast<uint64_t>(maxMiB > 0 ? maxMiB : kDefaultMaxMiB) * kMiB,
            static_cast<uint32_t>(thumbEvery > 0 ? thumbEvery : 0)};
}

void StartFromEnvironment() {
    wchar_t path[kPathUnits];
    const DWORD n = GetEnvironmentVariableW(L"TRV_RECORD", path, kPathUnits);
    if (n == 0) {
        return;
    }
    if (n >= kPathUnits) {
        gLog.Write("TrvRecord: TRV_RECORD too long, not recording\n");
        return;
    }
    wchar_t file[trv::kSettingsFileChars];
    GetSettingsFileQuietly(file);
    const RecordKeys keys = ReadRecordKeys(file, gSection);
    RecordStart(path, "TRV_RECORD", nullptr, nullptr, keys.maxBytes, keys.thumbEvery);
}

bool IsFullPath(const wchar_t* p) {
    return p[0] == L'\\' || p[0] == L'/' || (p[0] != 0 && p[1] == L':');
}

// "RecordFile" in the section the start brings (or the one in use); a name without a folder
// goes beside the host settings file.
void StartFromSettings(const TrvStartParams& block) {
    wchar_t section[kNameChars];
    trv::CopyBounded(section, kNameChars,
                     block.pszSection != nullptr ? block.pszSection : gSection);
    wchar_t file[trv::kSettingsFileChars];
    GetSettingsFileQuietly(file);
    if (file[0] == 0) {
        return;
    }
    wchar_t value[kPathUnits] = {};
    GetPrivateProfileStringW(section, L"RecordFile", L"", value, kPathUnits, file);
    if (value[0] == 0) {
        return;
    }
    wchar_t path[kPathUnits];
    if (IsFullPath(value)) {
        trv::CopyBounded(path, kPathUnits, value);
    } else {
        const wchar_t* slash = std::wcsrchr(file, L'\\');
        const int folder = slash == nullptr ? 0 : static_cast<int>(slash - file + 1);
        const int n = std::swprintf(path, kPathUnits, L"%.*ls%ls", folder, file, value);
        if (static_cast<size_t>(n) >= kPathUnits) { // an error (-1) reads as too long
            gLog.Write("TrvRecord: RecordFile path too long, not recording\n");
            return;
        }
    }
    const RecordKeys keys = ReadRecordKeys(file, section);
    RecordStart(path, "RecordFile", file, section, keys.maxBytes, keys.thumbEvery);
}

// As the log widens narrow text: byte by byte, in the C runtime's "C" locale.
wchar_t AsLogged(char c) {
    return static_cast<wchar_t>(btowc(static_cast<signed char>(c)));
}
wchar_t AsLogged(wchar_t c) {
    return c;
}

template <class Char> void AddLogPiece(const Char* piece) {
    ThreadState& t = tThread;
    t.inLogPiece = true;
    for (; *piece != 0; ++piece) {
        if (*piece != '\n') {
            if (t.lineLength < kLineUnits) {
                t.line[t.lineLength++] = AsLogged(*piece);
            } else {
                t.lineCut = true;
            }
            continue;
        }
        WriteRecord("log", [&t](trv::JsonLine& j) {
            trv::rec::LogFields(j, t.line, t.lineLength, t.lineCut);
        });
        t.lineLength = 0;
        t.lineCut = false;
    }
    t.inLogPiece = false;
    if (t.owedStop != nullptr && t.lineLength == 0) {
        const char* why = t.owedStop;
        t.owedStop = nullptr;
        InterlockedAnd(&gRecording, ~kStopLineOwed);
        LogStopNow(why, t.owedMaxBytes, t.owedError);
    }
}

// Ends a recording when the library is unloaded. Other threads may be gone with the lock
// held: then the file simply ends with its last whole record.
struct DetachEnd {
    ~DetachEnd() {
        if (Recording() && TryEnterCriticalSection(&gLock)) {
            if (gSession.active) {
                EndSession("detach");
            }
            LeaveCriticalSection(&gLock);
        }
    }
} gDetachEnd;

} // namespace

int64_t RecordTicks() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<int64_t>(now.QuadPart);
}

int64_t RecordMicrosSince(int64_t ticks) {
    const int64_t d = RecordTicks() - ticks;
    const int64_t f = gTicksPerSecond;
    return d / f * 1000000 + d % f * 1000000 / f;
}

RecordWriter::RecordWriter(const char* kind)
    : m_json(gSession.buffer, kBufferBytes, WriteToFile, &gSession), m_on(false) {
    EnterCriticalSection(&gLock);
    m_on = gSession.active;
    if (m_on) {
        trv::rec::BeginRecord(m_json, kind, NextStamp());
    }
}

RecordWriter::~RecordWriter() {
    const char* stopped = nullptr;
    const uint64_t maxBytes = gSession.maxBytes;
    if (m_on) {
        m_json.Close();
        const bool written = m_json.End();
        gSession.bytes += m_json.Written();
        if (!written) {
            stopped = "write-error";
        } else if (gSession.bytes >= gSession.maxBytes) {
            stopped = "cap";
        }
        if (stopped != nullptr) {
            EndSession(stopped);
        }
    }
    const DWORD error = gSession.writeError;
    LeaveCriticalSection(&gLock);
    if (stopped != nullptr) {
        LogStop(stopped, maxBytes, error);
    }
}

bool RecordStart(const wchar_t* path, const char* chosenBy, const wchar_t* settingsFile,
                 const wchar_t* section, uint64_t maxBytes, uint32_t thumbEvery) {
    InitOnceExecuteOnce(&gLockOnce, InitLock, nullptr, nullptr);
    EnterCriticalSection(&gLock);
    if (gSession.active) {
        LeaveCriticalSection(&gLock);
        return true;
    }
    HANDLE file = CreateNew(path, gRecordFile);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        LeaveCriticalSection(&gLock);
        gLog.Write("TrvRecord: cannot create ");
        gLog.WriteW(path);
        gLog.Write(", error ");
        LogUInt(error);
        gLog.Write(", not recording\n");
        return false;
    }
    gSession.file = file;
    gSession.id += 1;
    gSession.bytes = 0;
    gSession.maxBytes = maxBytes;
    gSession.records = 0;
    gSession.threads = 0;
    gSession.thumbEvery = thumbEvery;
    gSession.writeError = 0;
    gSession.startTicks = RecordTicks();
    InterlockedExchange(&gFrameCount, 0);

    char started[40];
    UtcNow(started, sizeof started);
    const trv::rec::Header<wchar_t> header = {TRV_VERSION_TEXT, started,      GetCurrentProcessId(),
                                              chosenBy,         settingsFile, section,
                                              gRecordFile,      maxBytes,     thumbEvery};
    trv::JsonLine j(gSession.buffer, kBufferBytes, WriteToFile, &gSession);
    trv::rec::WriteHeader(j, header);
    const bool written = j.End();
    gSession.bytes = j.Written();
    gSession.active = written;
    if (written) {
        InterlockedOr(&gRecording, kOn);
    } else {
        CloseHandle(file);
    }
    const DWORD error = gSession.writeError;
    wchar_t chosen[kPathUnits];
    trv::CopyBounded(chosen, kPathUnits, gRecordFile);
    LeaveCriticalSection(&gLock);
    if (!written) {
        LogStop("write-error", maxBytes, error);
        return false;
    }
    gLog.Write("TrvRecord: recording to ");
    gLog.WriteW(chosen);
    gLog.Write("\n");
    return true;
}

void RecordStop(const char* why) {
    InitOnceExecuteOnce(&gLockOnce, InitLock, nullptr, nullptr);
    EnterCriticalSection(&gLock);
    if (gSession.active) {
        EndSession(why);
    }
    LeaveCriticalSection(&gLock);
}

void RecordCommand(int32_t code, intptr_t param) {
    const bool fullStart = code == _TRV_DSHOW_CMD_START && param != 0 && gFrameCallback == nullptr;
    // The thread is a host's before the line that names the file introduces it.
    if (!gEnvironmentRead) {
        gEnvironmentRead = true;
        tThread.host = true;
        StartFromEnvironment();
    }
    if (fullStart && !Recording()) {
        tThread.host = true;
        StartFromSettings(*reinterpret_cast<const TrvStartParams*>(param));
    }
    if (!Recording()) {
        return;
    }
    tThread.host = true;
    gCommandStart = RecordTicks();
    WriteRecord("cmd", [&](trv::JsonLine& j) { trv::rec::CommandFields(j, code, param); });
}

void RecordReturn(int32_t code, intptr_t param, int32_t result) {
    if (!Recording()) {
        return;
    }
    const int64_t micros = RecordMicrosSince(gCommandStart);
    WriteRecord("ret",
                [&](trv::JsonLine& j) { trv::rec::ReturnFields(j, code, param, result, micros); });
}

void RecordCameraThread() {
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&gCameraThreadId),
                        static_cast<LONG>(GetCurrentThreadId()));
}

void RecordEventNow(WPARAM code, LPARAM cam) {
    WriteRecord("ev", [&](trv::JsonLine& j) {
        trv::rec::EventFields(j, code, static_cast<uint32_t>(cam));
    });
}

void RecordFrameNow(const unsigned char* pixels, int32_t width, int32_t height, int32_t size,
                    uint64_t taken) {
    const uint32_t number = static_cast<uint32_t>(InterlockedIncrement(&gFrameCount));
    const uint32_t every = gSession.thumbEvery; // set before the recording began
    uint8_t thumb[trv::rec::kThumbBytes];
    const bool withThumb = every != 0 && (number - 1) % every == 0 &&
                           trv::rec::MakeThumbnail(pixels, width, height, size, thumb);
    WriteRecord("frame", [&](trv::JsonLine& j) {
        trv::rec::FrameFields(j, number, pixels, width, height, size, withThumb ? thumb : nullptr,
                              taken);
    });
}

uint64_t RecordMarkNow() {
    InitOnceExecuteOnce(&gLockOnce, InitLock, nullptr, nullptr);
    EnterCriticalSection(&gLock);
    const uint64_t records = gSession.records; // of a session that ended: no frame follows
    LeaveCriticalSection(&gLock);
    return records;
}

void RecordDropNow(const char* why) {
    WriteRecord("drop", [why](trv::JsonLine& j) { trv::rec::DropFields(j, why); });
}

void RecordSettingNow(const char* file, const wchar_t* section, const wchar_t* key, int value) {
    WriteRecord("setting", [&](trv::JsonLine& j) {
        trv::rec::SettingFields(j, file, section, key);
        j.Int(value);
    });
}

void RecordSettingNow(const char* file, const wchar_t* section, const wchar_t* key,
                      const wchar_t* value) {
    WriteRecord("setting", [&](trv::JsonLine& j) {
        trv::rec::SettingFields(j, file, section, key);
        j.Wide(value);
    });
}

void RecordProbeNow(const wchar_t* path, bool found) {
    WriteRecord("probe", [&](trv::JsonLine& j) { trv::rec::ProbeFields(j, path, found); });
}

// Pieces the log drops for their length are not recorded either.
void RecordLogNow(const char* piece) {
    if (trv::LogPieceFits(std::strlen(piece))) {
        AddLogPiece(piece);
    }
}

void RecordLogNow(const wchar_t* piece) {
    if (trv::LogPieceFits(std::wcslen(piece))) {
        AddLogPiece(piece);
    }
}
