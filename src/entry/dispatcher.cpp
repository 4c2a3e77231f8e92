#include "dispatcher.h"

#include "infra/globals.h"
#include "handlers.h"
#include "infra/trv_log.h"

#include <cstring>
#include <new>

namespace {

bool RunCommand(int32_t code, intptr_t param) {
    switch (code) {
    case _TRV_DSHOW_CMD_LOAD:
        gLog.Write("TrvCmd: _TRV_DSHOW_CMD_LOAD\n");
        return true;
    case _TRV_DSHOW_CMD_UNLOAD:
        gLog.Write("TrvCmd: _TRV_DSHOW_CMD_UNLOAD\n");
        CloseAllCameras();
        return true;
    case _TRV_DSHOW_CMD_OPEN:
        gLog.Write("TrvCmd: _TRV_DSHOW_CMD_OPEN\n");
        return true;
    case _TRV_DSHOW_CMD_CLOSE:
        gLog.Write("TrvCmd: _TRV_DSHOW_CMD_CLOSE\n");
        CloseAllCameras();
        return true;
    case _TRV_DSHOW_CMD_START:
        StartUp(reinterpret_cast<TrvStartParams*>(param));
        return true;
    case _TRV_DSHOW_CMD_STOP:
        gLog.Write("TrvCmd: _TRV_DSHOW_CMD_STOP\n");
        CloseAllCameras();
        return true;
    case _TRV_DSHOW_CMD_START_FOCUS:
        return StartFocus();
    case _TRV_DSHOW_CMD_STOP_FOCUS:
        return StopFocus();
    case _TRV_DSHOW_CMD_NOP_11:
    case _TRV_DSHOW_CMD_NOP_12:
        return true;
    case _TRV_DSHOW_CMD_SET_EXPOSURE:
        // The argument is the percentage itself.
        SetExposureCommand(static_cast<int32_t>(param));
        return true;
    case _TRV_DSHOW_CMD_SET_STREAM_ID:
        // The argument is the camera id itself.
        MySetStreamId(param);
        return true;
    case _TRV_DSHOW_CMD_GET_FOCUS_TYPE:
        return GetFocusType(reinterpret_cast<int32_t*>(param));
    case _TRV_DSHOW_CMD_RESET_CONFIG:
        return MyResetConfig(reinterpret_cast<const wchar_t*>(param));
    case _TRV_DSHOW_CMD_PRAX_CONTROL: {
        // Byte-packed block: copy the fields out rather than read them misaligned.
        TrvPraxControlParams block;
        std::memcpy(&block, reinterpret_cast<const void*>(param), sizeof block);
        PraxControl(block.nType, block.dPercent);
        return true;
    }
    case _TRV_DSHOW_CMD_PRAX_CAM_RES:
        return PraxCamRes(reinterpret_cast<TrvPraxCamResParams*>(param));
    case _TRV_DSHOW_CMD_AOI:
        return AoiCommand(reinterpret_cast<TrvAoiParams*>(param));
    case _TRV_DSHOW_CMD_GET_TIMING:
        GetTimingCommand(reinterpret_cast<TrvTimingParams*>(param));
        return true;
    case _TRV_DSHOW_CMD_SET_FRAME_CALLBACK:
        std::memcpy(&gFrameCallback, reinterpret_cast<const void*>(param), sizeof gFrameCallback);
        return true;
    default:
        gLog.Write("TrvCmd: unknown ");
        LogInt(code);
        gLog.Write("\n");
        return false;
    }
}

} // namespace

// A command cut short (memory ran out) still gives the answer its code always gives: 1, but 0
// for the three whose answer reports an outcome. Unknown codes run nothing that could be cut short.
bool Dispatch(int32_t code, intptr_t param) {
    try {
        return RunCommand(code, param);
    } catch (const std::bad_alloc&) {
        gLog.Write("TrvCmd: out of memory in command ");
    } catch (...) {
        gLog.Write("TrvCmd: exception in command ");
    }
    LogInt(code);
    gLog.Write("\n");
    return code != _TRV_DSHOW_CMD_RESET_CONFIG && code != _TRV_DSHOW_CMD_PRAX_CAM_RES &&
           code != _TRV_DSHOW_CMD_AOI;
}
