// Lens data as a camera may store it: any bytes of any length parse without a read past them,
// and a record is taken only when it is whole and of dataset version 1.
#include "lensdata/lens_record.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact copy: ASan sees any read past `size`.
    std::vector<uint8_t> stored(data, data + size);
    trv::PraxLensRecord r;
    const bool ok = trv::ParsePraxRecord(size ? stored.data() : nullptr, size, &r);
    if (ok != (size >= trv::kPraxRecordBytes && data[0] == 1)) {
        std::abort();
    }
    if (!ok) {
        const trv::PraxLensRecord zero = {};
        if (std::memcmp(&r, &zero, sizeof r) != 0) {
            std::abort();
        }
        return 0;
    }
    // The arithmetic on it never traps.
    const double res = trv::PraxResolution(r.calibration, r.calibrationUnits);
    trv::PraxOutputParams p = trv::PraxOutputsFromRecord(r);
    trv::RaisePraxBasesTo(&p, res);
    trv::LowerPraxBasesTo(&p, r.calibration);
    const double level = trv::PraxOutputLevel(trv::BoundLevelPercent(res), p.adScale[1]);
    if (level < 0.0 || level > 2.55) {
        std::abort(); // 0..100 percent of a scale of at most 255 percent
    }
    return 0;
}
