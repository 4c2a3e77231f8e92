// The lens data record a camera keeps in its user memory, and the arithmetic on it.
// No OS header: built for Windows and natively.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trv {

constexpr size_t kPraxRecordBytes = 41;

#pragma pack(push, 1)
// The record at its stored offsets. Bytes 22..31 are never read and stay zero.
struct PraxLensRecord {
    uint8_t datasetMajor; // the record is used only when this is 1
    uint8_t datasetMinor;
    uint8_t productRange;
    uint32_t modelNumber;
    uint8_t reserved7;
    uint8_t reserved8;
    uint32_t reserved9;
    uint8_t reserved13[3];
    uint8_t output1Scale; // level scale, percent
    uint8_t output1Base;  // base value in thousands
    uint8_t reserved18;
    uint8_t output0Scale;
    uint8_t output0Base;
    uint8_t reserved21;
    uint8_t unread22[10];
    double calibration; // in the unit of calibrationUnits
    uint8_t calibrationUnits;
};
#pragma pack(pop)

static_assert(sizeof(PraxLensRecord) == kPraxRecordBytes);
static_assert(offsetof(PraxLensRecord, modelNumber) == 3);
static_assert(offsetof(PraxLensRecord, reserved9) == 9);
static_assert(offsetof(PraxLensRecord, output1Scale) == 16);
static_assert(offsetof(PraxLensRecord, output0Base) == 20);
static_assert(offsetof(PraxLensRecord, calibration) == 32);
static_assert(offsetof(PraxLensRecord, calibrationUnits) == 40);

// The most stored data a camera may report: room for anything it keeps beside the record. A
// larger size marks memory that holds no lens data (all bits set: never written); it is
// refused, not read.
constexpr uint32_t kPraxMostStoredBytes = 65536;

// The bytes to read of stored data of `size` bytes: the record's 41, or fewer when less is
// stored; what follows the record is never read. False when the size is beyond
// kPraxMostStoredBytes.
bool PraxReadBytes(uint32_t size, uint32_t* count);

// Parses the first `length` bytes of `data` (null only with length 0) into *record, which is
// zeroed first. True only when a whole record was read and its datasetMajor is 1; on false
// *record stays all zero. Reads nothing at or past data[length], nor past byte 40.
bool ParsePraxRecord(const uint8_t* data, size_t length, PraxLensRecord* record);

// Resolution from the calibration value by its unit code; unknown codes leave it unchanged.
double PraxResolution(double calibration, uint32_t units);

// Output type as sent by the host: only 0 and 1 name an output.
bool IsPraxOutput(int32_t type);

// Level percent bounded to 0..100; NaN counts as 0.
double BoundLevelPercent(double percent);

// Base values and level scales of both outputs, indexed by output number.
struct PraxOutputParams {
    double adBase[2];
    double adScale[2];
};
PraxOutputParams PraxOutputsFromRecord(const PraxLensRecord& record);

// Camera limits on the base values. A NaN limit leaves the values alone.
void RaisePraxBasesTo(PraxOutputParams* params, double lowerLimit);
void LowerPraxBasesTo(PraxOutputParams* params, double upperLimit);

// The level sent for an output: its level percent as a fraction, times its scale.
double PraxOutputLevel(double levelPercent, double scale);

} // namespace trv
