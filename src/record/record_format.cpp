#include "record_format.h"

#include "infra/trv_params.h"

#include <cstring>

namespace trv::rec {

namespace {

// Host strings are read no further than the plug-in reads them: 260 units, terminator included.
constexpr size_t kNameUnits = 260;

uint64_t AddressOf(const void* p) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
}

template <class Block> Block ReadBlock(intptr_t param) {
    Block b;
    std::memcpy(&b, reinterpret_cast<const void*>(param), sizeof b);
    return b;
}

void AoiFields(JsonLine& j, const TrvAoiParams& b) {
    j.Key("x").Int(b.x);
    j.Key("y").Int(b.y);
    j.Key("width").Int(b.width);
    j.Key("height").Int(b.height);
}

void StartFields(JsonLine& j, const TrvStartParams& b) {
    j.Key("frameCallback").Address(AddressOf(reinterpret_cast<const void*>(b.frameCallback)));
    j.Key("errorCallback").Address(AddressOf(reinterpret_cast<const void*>(b.errorCallback)));
    j.Key("configDir").Wide(b.pszConfigDir, kNameUnits);
    j.Key("focusType").Int(b.nFocusType);
    j.Key("camFileName").Wide(b.pszCamFileName, kNameUnits);
    j.Key("section").Wide(b.pszSection, kNameUnits);
}

// The commands whose argument is a block of the host's, and those that write into it.
bool ReadsBlock(int32_t code) {
    return code == _TRV_DSHOW_CMD_START || code == _TRV_DSHOW_CMD_GET_FOCUS_TYPE ||
           code == _TRV_DSHOW_CMD_PRAX_CONTROL || code == _TRV_DSHOW_CMD_PRAX_CAM_RES ||
           code == _TRV_DSHOW_CMD_AOI || code == _TRV_DSHOW_CMD_GET_TIMING ||
           code == _TRV_DSHOW_CMD_SET_FRAME_CALLBACK;
}

bool WritesBlock(int32_t code) {
    return ReadsBlock(code) && code != _TRV_DSHOW_CMD_PRAX_CONTROL &&
           code != _TRV_DSHOW_CMD_SET_FRAME_CALLBACK;
}

// The fields of a block as it stands, before the command or after it.
void BlockFields(JsonLine& j, int32_t code, intptr_t param, bool after) {
    switch (code) {
    case _TRV_DSHOW_CMD_START: {
        const TrvStartParams b = ReadBlock<TrvStartParams>(param);
        if (after) {
            j.Key("nSizeX").Int(b.nSizeX);
            j.Key("nSizeY").Int(b.nSizeY);
        } else {
            StartFields(j, b);
        }
        break;
    }
    case _TRV_DSHOW_CMD_GET_FOCUS_TYPE:
        j.Key("value").Int(ReadBlock<int32_t>(param));
        break;
    case _TRV_DSHOW_CMD_PRAX_CONTROL: {
        const TrvPraxControlParams b = ReadBlock<TrvPraxControlParams>(param);
        j.Key("nType").Int(b.nType);
        j.Key("dPercent").Double(b.dPercent);
        break;
    }
    case _TRV_DSHOW_CMD_PRAX_CAM_RES: {
        const TrvPraxCamResParams b = ReadBlock<TrvPraxCamResParams>(param);
        j.Key("dResX").Double(b.dResX);
        j.Key("dResY").Double(b.dResY);
        break;
    }
    case _TRV_DSHOW_CMD_AOI: {
        const TrvAoiParams b = ReadBlock<TrvAoiParams>(param);
        if (!after) {
            j.Key("nMode").Int(b.nMode);
        }
        AoiFields(j, b);
        break;
    }
    case _TRV_DSHOW_CMD_GET_TIMING: {
        const TrvTimingParams b = ReadBlock<TrvTimingParams>(param);
        j.Key("dFrameRate").Double(b.dFrameRate);
        j.Key("dExposure").Double(b.dExposure);
        break;
    }
    default: // _TRV_DSHOW_CMD_SET_FRAME_CALLBACK, the last code ReadsBlock lets through
        j.Key("frameCallback").Address(AddressOf(ReadBlock<const void*>(param)));
        break;
    }
}

} // namespace

void BeginRecord(JsonLine& j, const char* kind, const Stamp& s) {
    j.Open();
    j.Key("k").Text(kind);
    j.Key("n").UInt(s.n);
    j.Key("t").Int(s.t);
    j.Key("th").Int(s.th);
    j.Key("ts").UInt(s.ts);
}

void ThreadFields(JsonLine& j, uint32_t threadId, const char* role) {
    j.Key("tid").UInt(threadId);
    j.Key("role").Text(role);
}

const char* CommandName(int32_t code) {
    switch (code) {
    case _TRV_DSHOW_CMD_LOAD:
        return "_TRV_DSHOW_CMD_LOAD";
    case _TRV_DSHOW_CMD_UNLOAD:
        return "_TRV_DSHOW_CMD_UNLOAD";
    case _TRV_DSHOW_CMD_OPEN:
        return "_TRV_DSHOW_CMD_OPEN";
    case _TRV_DSHOW_CMD_CLOSE:
        return "_TRV_DSHOW_CMD_CLOSE";
    case _TRV_DSHOW_CMD_START:
        return "_TRV_DSHOW_CMD_START";
    case _TRV_DSHOW_CMD_STOP:
        return "_TRV_DSHOW_CMD_STOP";
    case _TRV_DSHOW_CMD_START_FOCUS:
        return "_TRV_DSHOW_CMD_START_FOCUS";
    case _TRV_DSHOW_CMD_STOP_FOCUS:
        return "_TRV_DSHOW_CMD_STOP_FOCUS";
    case _TRV_DSHOW_CMD_NOP_11:
        return "_TRV_DSHOW_CMD_NOP_11";
    case _TRV_DSHOW_CMD_NOP_12:
        return "_TRV_DSHOW_CMD_NOP_12";
    case _TRV_DSHOW_CMD_SET_EXPOSURE:
        return "_TRV_DSHOW_CMD_SET_EXPOSURE";
    case _TRV_DSHOW_CMD_SET_STREAM_ID:
        return "_TRV_DSHOW_CMD_SET_STREAM_ID";
    case _TRV_DSHOW_CMD_GET_FOCUS_TYPE:
        return "_TRV_DSHOW_CMD_GET_FOCUS_TYPE";
    case _TRV_DSHOW_CMD_RESET_CONFIG:
        return "_TRV_DSHOW_CMD_RESET_CONFIG";
    case _TRV_DSHOW_CMD_PRAX_CONTROL:
        return "_TRV_DSHOW_CMD_PRAX_CONTROL";
    case _TRV_DSHOW_CMD_PRAX_CAM_RES:
        return "_TRV_DSHOW_CMD_PRAX_CAM_RES";
    case _TRV_DSHOW_CMD_AOI:
        return "_TRV_DSHOW_CMD_AOI";
    case _TRV_DSHOW_CMD_GET_TIMING:
        return "_TRV_DSHOW_CMD_GET_TIMING";
    case _TRV_DSHOW_CMD_SET_FRAME_CALLBACK:
        return "_TRV_DSHOW_CMD_SET_FRAME_CALLBACK";
    default:
        return nullptr;
    }
}

void CommandFields(JsonLine& j, int32_t code, intptr_t param) {
    j.Key("code").Int(code);
    if (const char* name = CommandName(code)) {
        j.Key("name").Text(name);
    }
    j.Key("in").Open();
    if (code == _TRV_DSHOW_CMD_RESET_CONFIG) {
        j.Key("name").Wide(reinterpret_cast<const wchar_t*>(param), kNameUnits);
    } else if (ReadsBlock(code) && param != 0) {
        BlockFields(j, code, param, false);
    } else {
        // A value, or ignored: as the command takes it (the exposure percentage has 32 bits).
        j.Key("arg").Int(code == _TRV_DSHOW_CMD_SET_EXPOSURE ? static_cast<int32_t>(param)
                                                             : static_cast<int64_t>(param));
    }
    j.Close();
}

void ReturnFields(JsonLine& j, int32_t code, intptr_t param, int32_t result, int64_t micros) {
    j.Key("code").Int(code);
    j.Key("r").Int(result);
    j.Key("out");
    if (WritesBlock(code) && param != 0) {
        j.Open();
        BlockFields(j, code, param, true);
        j.Close();
    } else {
        j.Null();
    }
    j.Key("us").Int(micros);
}

void EventFields(JsonLine& j, uint64_t code, uint32_t cam) {
    j.Key("code").UInt(code);
    j.Key("cam").UInt(cam);
}

void FrameFields(JsonLine& j, uint64_t number, const void* pixels, int32_t width, int32_t height,
                 int32_t size, const uint8_t* thumb, uint64_t taken) {
    j.Key("no").UInt(number);
    j.Key("pixels").Bool(pixels != nullptr);
    j.Key("width").Int(width);
    j.Key("height").Int(height);
    j.Key("size").Int(size);
    if (thumb != nullptr) {
        j.Key("thumb").Hex(thumb, kThumbBytes);
    }
    if (taken != 0) {
        j.Key("taken").UInt(taken);
    }
}

void DropFields(JsonLine& j, const char* why) {
    j.Key("why").Text(why);
}

void EndFields(JsonLine& j, const char* why, uint64_t records, uint64_t bytes) {
    j.Key("why").Text(why);
    j.Key("records").UInt(records);
    j.Key("bytes").UInt(bytes);
}

bool MakeThumbnail(const uint8_t* pixels, int32_t width, int32_t height, int32_t size,
                   uint8_t* out) {
    if (pixels == nullptr || width <= 0 || height <= 0 ||
        static_cast<int64_t>(width) * height * 3 > size) {
        return false;
    }
    constexpr int64_t kSamples = 8;
    for (int cy = 0; cy < kThumbHeight; ++cy) {
        const int64_t y0 = int64_t{height} * cy / kThumbHeight;
        const int64_t y1 = int64_t{height} * (cy + 1) / kThumbHeight;
        const int64_t ySpan = y1 > y0 ? y1 - y0 : 1;
        const int64_t yCount = ySpan < kSamples ? ySpan : kSamples;
        for (int cx = 0; cx < kThumbWidth; ++cx) {
            const int64_t x0 = int64_t{width} * cx / kThumbWidth;
            const int64_t x1 = int64_t{width} * (cx + 1) / kThumbWidth;
            const int64_t xSpan = x1 > x0 ? x1 - x0 : 1;
            const int64_t xCount = xSpan < kSamples ? xSpan : kSamples;
            uint64_t sum[3] = {0, 0, 0};
            for (int64_t sy = 0; sy < yCount; ++sy) {
                const int64_t y = y0 + sy * ySpan / yCount;
                for (int64_t sx = 0; sx < xCount; ++sx) {
                    const int64_t x = x0 + sx * xSpan / xCount;
                    const uint8_t* p = pixels + (y * width + x) * 3;
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const uint64_t n = static_cast<uint64_t>(xCount * yCount);
            uint8_t* o = out + (cy * kThumbWidth + cx) * 3;
            for (int c = 0; c < 3; ++c) {
                o[c] = static_cast<uint8_t>((sum[c] + n / 2) / n);
            }
        }
    }
    return true;
}

} // namespace trv::rec
