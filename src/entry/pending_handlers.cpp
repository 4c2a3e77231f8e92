// Handlers whose camera work is not built yet: they answer as with no camera loaded.
#include "handlers.h"

void PraxControl(int32_t, double) {}
bool PraxCamRes(TrvPraxCamResParams*) {
    return false;
}
