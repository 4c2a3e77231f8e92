// Lens data as a camera may store it: any bytes of any length parse without a read past them,
// and a record is taken only when it is whole and of dataset version 1.
#include "lensdata/lens_record.h"

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
    const trv::PraxLensRecord zero = {};
    if (!ok && std::memcmp(&r, &zero, sizeof r) != 0) {
        std::abort(); // a record not taken is left all zero
    }
    return 0;
}
