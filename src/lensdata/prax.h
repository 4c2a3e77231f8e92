// Lens data read from the current camera, and the two outputs driven through it.
#pragma once

#include "infra/trv_params.h"
#include "lens_record.h"

#include <cstdint>

// The camera last read and the copy of its record; replaced at every read, all zero
// unless the read succeeded.
struct PraxCamDataState {
    uint32_t m_hCam;
    trv::PraxLensRecord m_sRecord;
};

// The output selected on the camera and the last level percent asked for each output.
// Shared by all cameras: a camera switch does not reset it.
struct PraxOutputStateData {
    uint32_t m_nSelected;
    double m_adLevelPercent[2];
};

extern PraxCamDataState PraxCamData;
extern PraxOutputStateData PraxOutputState;

// Reads the record of the current camera into PraxCamData.
bool ReadPraxCamData();

// Sets the level of output `type` from the record just read; false when the type names no
// output (nothing is sent) or the camera refused the final apply.
bool WritePraxOutput(int32_t type, double percent);

// Handlers of the lens-data commands.
void PraxControl(int32_t type, double percent);
bool PraxCamRes(TrvPraxCamResParams* block);
