// Loads the real plug-in DLL the way the host does and reads the shared log beside it.
#pragma once

#include "infra/trv_params.h"
#include "log_reader.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace trvtest {

using TrvCmdFn = int32_t (*)(int32_t, intptr_t);

// Folder of the running test program; the plug-in is built beside it.
inline std::wstring OwnFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s = path;
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

// A start block as a host fills it: both callbacks, the configuration folder, free run, and
// -1 in the size fields so that a test sees whether START wrote them.
inline TrvStartParams StartBlock(const std::wstring& configDir, TrvFrameCallback onFrame,
                                 TrvErrorCallback onError) {
    TrvStartParams b = {};
    b.nSizeX = -1;
    b.nSizeY = -1;
    b.frameCallback = onFrame;
    b.errorCallback = onError;
    b.pszConfigDir = configDir.c_str();
    b.nFocusType = 3;
    return b;
}

class PluginHost {
  public:
    PluginHost() {
        log.Drain(); // start from an empty log
        module = LoadLibraryW((OwnFolder() + L"trvueye.dll").c_str());
        if (module != nullptr) {
            cmd = reinterpret_cast<TrvCmdFn>(
                reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(1))));
        }
    }
    // The plug-in keeps a camera thread for the life of the process: it is never unloaded.
    bool loaded() const { return cmd != nullptr; }
    int32_t Cmd(int32_t code, intptr_t param = 0) { return cmd(code, param); }
    template <class Block> int32_t Cmd(int32_t code, Block* block) {
        return cmd(code, reinterpret_cast<intptr_t>(block));
    }
    // Everything logged since the last call.
    std::string TakeLog() { return ToUtf8(log.Drain()); }
    // The lens-data commands: the resolution read (44) and an output level (43).
    int32_t CamRes(TrvPraxCamResParams& block) { return Cmd(_TRV_DSHOW_CMD_PRAX_CAM_RES, &block); }
    int32_t Control(int32_t type, double percent) {
        TrvPraxControlParams p = {type, percent};
        return Cmd(_TRV_DSHOW_CMD_PRAX_CONTROL, &p);
    }

    LogReader log;

  private:
    HMODULE module = nullptr;
    TrvCmdFn cmd = nullptr;
};

} // namespace trvtest
