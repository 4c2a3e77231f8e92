// Lens data commands: every call reads the record from the camera anew.
#include "prax.h"

#include "camera/my_cam.h"
#include "infra/trv_log.h"
#include "ueye/ueye_api.h"

#include <windows.h>

#include <cmath>
#include <cstring>

PraxCamDataState PraxCamData;
PraxOutputStateData PraxOutputState;

namespace {

constexpr DWORD kOutputSwitchWaitMs = 250;
constexpr uint32_t kOutputApplyValue = 2;
constexpr double kNullResolution = 1e-12;

// Output configuration words sent when switching outputs; word 3 is the output number.
struct OutputConfig {
    uint32_t anWords[16];
};
static_assert(sizeof(OutputConfig) == 64);

struct OutputLevel {
    double dBase;
    double dLevel;
};
static_assert(sizeof(OutputLevel) == 16);

UeyeHandle CurrentHandle() {
    const MyCam* cam = CurrentCam();
    return cam != nullptr ? cam->m_hCam : 0;
}

// Asks for one output limit; true and *limit when the camera answers.
bool QueryOutputLimit(UeyeHandle hCam, uint32_t command, double* limit, UeyeStatus* status) {
    double adValues[2] = {0.0, 0.0};
    *status = is_IO(hCam, command, adValues, sizeof adValues);
    if (*status != 0) {
        return false;
    }
    *limit = adValues[0];
    return true;
}

UeyeStatus SendLevel(UeyeHandle hCam, double base, double level) {
    OutputLevel sLevel = {base, level};
    return is_IO(hCam, ueye::kIoOutputLevel, &sLevel, sizeof sLevel);
}

UeyeStatus SendApply(UeyeHandle hCam) {
    uint32_t nValue = kOutputApplyValue;
    return is_IO(hCam, ueye::kIoOutputApply, &nValue, sizeof nValue);
}

void LogFlag(bool value) {
    LogInt(value ? 1 : 0);
}

// Reads the stored data into *record; false leaves *record all zero. Only the record's bytes
// are read, into a buffer of its size: nothing is allocated under the command lock.
bool ReadRecord(UeyeHandle hCam, trv::PraxLensRecord* record) {
    std::memset(record, 0, sizeof *record);
    uint32_t nSize = 0;
    if (is_CameraMemory(hCam, ueye::kMemorySize, &nSize, sizeof nSize) != 0) {
        return false;
    }
    uint32_t nCount = 0;
    if (!trv::PraxReadBytes(nSize, &nCount)) {
        gLog.Write("ReadPraxCamData size=");
        LogUInt(nSize);
        gLog.Write(" too large\n");
        return false;
    }
    uint8_t abData[trv::kPraxRecordBytes] = {};
    UeyeMemoryRead sRequest;
    std::memset(&sRequest, 0, sizeof sRequest);
    sRequest.nOffset = 0;
    sRequest.nCount = nCount;
    sRequest.nBufferAddress = reinterpret_cast<uintptr_t>(abData);
    if (is_CameraMemory(hCam, ueye::kMemoryRead, &sRequest, sizeof sRequest) != 0) {
        return false;
    }
    if (nSize < trv::kPraxRecordBytes) {
        gLog.Write("ReadPraxCamData size=");
        LogUInt(nSize);
        gLog.Write(" shorter than a record\n");
    }
    return trv::ParsePraxRecord(abData, nCount, record);
}

} // namespace

bool ReadPraxCamData() {
    const UeyeHandle hCam = CurrentHandle();
    PraxCamData.m_hCam = hCam;
    trv::PraxLensRecord sRecord;
    std::memset(&sRecord, 0, sizeof sRecord);
    const bool ok = hCam != 0 && ReadRecord(hCam, &sRecord);
    PraxCamData.m_sRecord = sRecord;
    return ok;
}

bool WritePraxOutput(int32_t type, double percent) {
    if (!trv::IsPraxOutput(type)) {
        return false;
    }
    const uint32_t nOutput = static_cast<uint32_t>(type);
    const UeyeHandle hCam = PraxCamData.m_hCam;
    PraxOutputState.m_adLevelPercent[nOutput] = trv::BoundLevelPercent(percent);

    trv::PraxOutputParams sParams = trv::PraxOutputsFromRecord(PraxCamData.m_sRecord);
    UeyeStatus status = 0;
    double dLimit = 0.0;
    if (QueryOutputLimit(hCam, ueye::kIoOutputMin, &dLimit, &status)) {
        trv::RaisePraxBasesTo(&sParams, dLimit);
    }
    if (QueryOutputLimit(hCam, ueye::kIoOutputMax, &dLimit, &status)) {
        trv::LowerPraxBasesTo(&sParams, dLimit);
    }

    if (nOutput != PraxOutputState.m_nSelected) {
        PraxOutputState.m_nSelected = nOutput;
        SendLevel(hCam, sParams.adBase[nOutput], 0.0);
        SendApply(hCam);
        // The camera needs the switched output settled before it takes the new configuration.
        Sleep(kOutputSwitchWaitMs);
        OutputConfig sConfig;
        std::memset(&sConfig, 0, sizeof sConfig);
        sConfig.anWords[0] = 1;
        sConfig.anWords[1] = 0;
        sConfig.anWords[2] = 2;
        sConfig.anWords[3] = nOutput;
        status = is_IO(hCam, ueye::kIoOutputConfig, &sConfig, sizeof sConfig);
    }

    const double dLevel =
        trv::PraxOutputLevel(PraxOutputState.m_adLevelPercent[nOutput], sParams.adScale[nOutput]);
    SendLevel(hCam, sParams.adBase[nOutput], dLevel);
    status = SendApply(hCam);
    return status == 0;
}

bool PraxCamRes(TrvPraxCamResParams* block) {
    const DWORD t0 = GetTickCount();
    const bool ok = ReadPraxCamData();
    const DWORD dtRead = GetTickCount() - t0;
    const trv::PraxLensRecord& r = PraxCamData.m_sRecord;
    if (ok) {
        const double dRes = trv::PraxResolution(r.calibration, r.calibrationUnits);
        block->dResX = dRes;
        block->dResY = dRes;
    }

    gLog.Write("PraxCamRes hCam=");
    LogUInt(PraxCamData.m_hCam);
    gLog.Write(" datasetMajor=");
    LogUInt(r.datasetMajor);
    gLog.Write(" datasetMinor=");
    LogUInt(r.datasetMinor);
    gLog.Write(" productRange=");
    LogUInt(r.productRange);
    gLog.Write(" modelNumber=");
    LogUInt(r.modelNumber);
    gLog.Write(" ok=");
    LogFlag(ok);
    gLog.Write(" dtRead=");
    LogUInt(dtRead);
    gLog.Write("\n");

    gLog.Write("PraxCamRes hCam=");
    LogUInt(PraxCamData.m_hCam);
    gLog.Write(" calibration=");
    LogDouble(r.calibration);
    gLog.Write(" calibrationUnits=");
    LogUInt(r.calibrationUnits);
    gLog.Write(" xres=");
    LogDouble(block->dResX);
    gLog.Write(" yres=");
    LogDouble(block->dResY);
    gLog.Write("\n");

    if (std::fabs(block->dResX) < kNullResolution) {
        gLog.Write("PraxCamRes NULL resolution, returning false\n");
        return false;
    }
    return ok;
}

void PraxControl(int32_t type, double percent) {
    const DWORD t0 = GetTickCount();
    const bool ok1 = ReadPraxCamData();
    const DWORD t1 = GetTickCount();
    const bool ok2 = ok1 && WritePraxOutput(type, percent);
    const DWORD t2 = GetTickCount();

    gLog.Write("PraxControl hCam=");
    LogUInt(PraxCamData.m_hCam);
    gLog.Write(" type=");
    LogInt(type);
    gLog.Write(" percent=");
    LogDouble(percent);
    gLog.Write(" ok1=");
    LogFlag(ok1);
    gLog.Write(" ok2=");
    LogFlag(ok2);
    gLog.Write(" dtRead=");
    LogUInt(t1 - t0);
    gLog.Write(" dtWrite=");
    LogUInt(t2 - t1);
    gLog.Write("\n");
}
