#include "lens_record.h"

#include <bit>
#include <cstring>

namespace trv {

namespace {

// Stored multi-byte values are little-endian whatever the machine.
uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

double ReadF64(const uint8_t* p) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = bits << 8 | p[i];
    }
    return std::bit_cast<double>(bits);
}

} // namespace

bool PraxReadBytes(uint32_t size, uint32_t* count) {
    if (size > kPraxMostStoredBytes) {
        return false;
    }
    *count = size < kPraxRecordBytes ? size : static_cast<uint32_t>(kPraxRecordBytes);
    return true;
}

bool ParsePraxRecord(const uint8_t* data, size_t length, PraxLensRecord* record) {
    std::memset(record, 0, sizeof *record);
    if (data == nullptr || length < kPraxRecordBytes || data[0] != 1) {
        return false;
    }
    record->datasetMajor = data[0];
    record->datasetMinor = data[1];
    record->productRange = data[2];
    record->modelNumber = ReadU32(data + 3);
    record->reserved7 = data[7];
    record->reserved8 = data[8];
    record->reserved9 = ReadU32(data + 9);
    std::memcpy(record->reserved13, data + 13, sizeof record->reserved13);
    record->output1Scale = data[16];
    record->output1Base = data[17];
    record->reserved18 = data[18];
    record->output0Scale = data[19];
    record->output0Base = data[20];
    record->reserved21 = data[21];
    record->calibration = ReadF64(data + 32);
    record->calibrationUnits = data[40];
    return true;
}

double PraxResolution(double calibration, uint32_t units) {
    switch (units) {
    case 1:
        return calibration / 1e-6;
    case 2:
        return calibration / 0.001;
    case 4:
        return calibration * 10.0;
    case 5:
        return calibration * 25.4;
    default:
        return calibration;
    }
}

bool IsPraxOutput(int32_t type) {
    return static_cast<uint32_t>(type) <= 1;
}

double BoundLevelPercent(double percent) {
    if (!(percent > 0.0)) {
        return 0.0; // also NaN
    }
    return percent > 100.0 ? 100.0 : percent;
}

PraxOutputParams PraxOutputsFromRecord(const PraxLensRecord& record) {
    PraxOutputParams params;
    params.adBase[0] = record.output0Base * 1000.0;
    params.adBase[1] = record.output1Base * 1000.0;
    params.adScale[0] = record.output0Scale / 100.0;
    params.adScale[1] = record.output1Scale / 100.0;
    return params;
}

void RaisePraxBasesTo(PraxOutputParams* params, double lowerLimit) {
    for (double& base : params->adBase) {
        if (lowerLimit > base) {
            base = lowerLimit;
        }
    }
}

void LowerPraxBasesTo(PraxOutputParams* params, double upperLimit) {
    for (double& base : params->adBase) {
        if (upperLimit < base) {
            base = upperLimit;
        }
    }
}

double PraxOutputLevel(double levelPercent, double scale) {
    return levelPercent / 100.0 * scale;
}

} // namespace trv
