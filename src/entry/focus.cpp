// Focus-type check.
#include "handlers.h"
#include "infra/trv_log.h"

bool GetFocusType(int32_t* value) {
    if (*value != 1 && *value != 2 && *value != 3) {
        gLog.Write("GetFocusType using free run UNKNOWN TYPE=");
        LogInt(*value);
        gLog.Write("\n");
        *value = 3;
    }
    gLog.Write("GetFocusType=");
    LogInt(*value);
    gLog.Write("\n");
    return true;
}
