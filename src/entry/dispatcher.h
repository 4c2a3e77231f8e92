#pragma once

#include <cstdint>

// One switch over the command code; runs under gCmdLock.
bool Dispatch(int32_t code, intptr_t param);
