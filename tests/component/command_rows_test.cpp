// Host commands and camera events when the library fails or answers oddly: stream switching,
// configuration reload, focus, area of interest, timing, lens data and outputs, error events,
// and closing.
#include "failure_table.h"

namespace {

using trvtest::Row;

class Commands : public trvtest::FailureTable {};

// Cameras of ids 2 and 5 posting frames, 64 x 48 and 32 x 16 (a macro: rows add to it).
#define TWO_CAMERAS                                                                                \
    "cameras=A B; CamSN_2=A; CamSN_5=B; sim0:stalled=0; sim1:stalled=0; sim1:aoi=0 0 32 16"
constexpr const char* kShared =
    "CamShareConfig=1; CamShareLast=3; sim0:stalled=0; "
    "file:ueyecam_3.ini=aoi=0 0 32 16; file:ueyecam_5.ini=aoi=0 0 48 24";

const Row kStreams[] = {
    {"stop refused in a switch: the camera left counts as stopped", TWO_CAMERAS,
     "is_StopLiveVideo@cam0#1 = 125",
     "load; 32 2 -> 1; sim 0 stalled 1; 32 5 -> 1; frames -> 32x16",
     "MySetStreamId found i = 1\nMySetStreamId stopping current...\n"
     "***** UEYECAM is_StopLiveVideo failure: 125\nMySetStreamId starting new...\n"
     "MySetStreamId waiting for image...\nMySetStreamId success t=*\nMySetStreamId finished",
     "is_StopLiveVideo hCam=1 wait=1 -> 125\nis_CaptureVideo hCam=2 wait=1 -> 0"},
    {"start refused in a switch: no wait, the next switch tries again", TWO_CAMERAS,
     "is_CaptureVideo:1@cam1#1 = 125", "load; 32 2 -> 1; 32 5 -> 1; 32 5 -> 1; frames -> 32x16",
     "MySetStreamId starting new...\n***** UEYECAM is_CaptureVideo failure: 125\n"
     "IS_CAP_STATUS_COUNT: 0\nMySetStreamId waiting for image...\nMySetStreamId finished\n"
     "MySetStreamId camId = 5 *\n!MySetStreamId stopping current...\n"
     "MySetStreamId starting new...\nMySetStreamId success t=*",
     "is_CaptureVideo hCam=2 wait=1 -> 125\nis_CaptureStatus hCam=2 cmd=2\n"
     "is_CaptureStatus hCam=2 cmd=1\nis_CaptureVideo hCam=2 wait=1 -> 0"},
    {"an id no camera has; a new default file with several cameras", TWO_CAMERAS, "",
     "load; 32 9 -> 1; 42 other.ini -> 1",
     "MySetStreamId camId = 9 gCamShareConfig=0 gCurCamConfigId=4294967295\n"
     "MySetStreamId unable to find camId\nMyResetConfig load new config\n"
     "MyResetConfig multicam config",
     "is_TriggerMode hCam=2 mode=0x8004\n!is_"},
    {"no frame of the new camera within 2 s", "cameras=A B; CamSN_2=A; CamSN_5=B", "",
     "load; 32 5 -> 1",
     "MySetStreamId success first frame t=*\nMySetStreamId fail t=* count=0\n"
     "MySetStreamId finished",
     ""},
    {"configuration: the one in use again touches nothing; another loads its file", kShared, "",
     "load; 32 3 -> 1; 32 5 -> 1; frames -> 48x24; key CamShareLast -> 5",
     "MySetStreamId camId = 3 gCamShareConfig=1 gCurCamConfigId=3\n!MySetStreamId *\n"
     "MySetStreamId camId = 5 gCamShareConfig=1 gCurCamConfigId=3\nMySetStreamId load new config\n"
     "MyReloadFile1 file=$DIR\\ueyecam_5.ini found=1\nLoadFile Param File loaded: "
     "$DIR\\ueyecam_5.ini",
     "is_TriggerMode hCam=1 mode=0x8004\n!is_\nis_StopLiveVideo hCam=1 wait=1 -> 0"},
    {"configuration: stop refused, so the file is refused while live", kShared,
     "is_StopLiveVideo#1 = 125",
     "load; sim 0 stalled 1; 32 5 -> 1; sim 0 stalled 0; key CamShareLast -> 3; frames -> 32x16",
     "MySetStreamId load new config\nMySetStreamId is_StopLiveVideo failure: 125\n"
     "MyReloadFile1 file=$DIR\\ueyecam_5.ini found=1\n"
     "LoadFile Param File NOT loaded: $DIR\\ueyecam_5.ini\n"
     "MyReloadFile m_nSizeX=32 m_nSizeY=16 ret=0\nMyReloadFile Enable\nMyReloadFile Trigger\n"
     "MyReloadFile success\nMySetStreamId is_CaptureVideo...\nMySetStreamId success1",
     ""},
    {"configuration: start refused", kShared, "is_CaptureVideo:1#2 = 125",
     "load; 32 5 -> 1; key CamShareLast -> 5",
     "LoadFile Param File loaded: $DIR\\ueyecam_5.ini\nMyReloadFile m_nSizeX=48 m_nSizeY=24 ret=0\n"
     "MySetStreamId is_CaptureVideo failure: 125\nIS_CAP_STATUS_COUNT: 0\n"
     "MySetStreamId success1",
     ""},
    {"configuration without a file", kShared, "", "load; 32 4 -> 1; key CamShareLast -> 3",
     "MyReloadFile1 file=$DIR\\ueyecam_4.ini found=0\n"
     "LoadFile Param File NOT loaded: $DIR\\ueyecam_4.ini\n"
     "MyReloadFile m_nSizeX=32 m_nSizeY=16 ret=0\nMySetStreamId success1",
     ""},
    {"configuration: no memory for the new size, no events re-enabled", kShared,
     "is_ImageMemAlloc#2 = 2", "load; 32 5 -> 1",
     "MyReloadFile m_nSizeX=48 m_nSizeY=24 ret=2\n!MyReloadFile Enable\n"
     "MySetStreamId is_CaptureVideo failure: 108\nMySetStreamId success1",
     "is_ImageMemAlloc hCam=1 w=48 h=24 bits=24 -> 2\n!is_EventMessage\n!is_TriggerMode"},
    {"new default file: stop refused, so the file is refused while live",
     "sim0:stalled=0; file:other.ini=aoi=0 0 48 24", "is_StopLiveVideo#1 = 125",
     "load; sim 0 stalled 1; 42 other.ini -> 1; sim 0 stalled 0; frames -> 64x48",
     "MyResetConfig is_StopLiveVideo failure: 125\nMyReloadFile2 file=$DIR\\other.ini found=1\n"
     "LoadFile Param File NOT loaded: $DIR\\other.ini\nMyResetConfig is_CaptureVideo... retval=1\n"
     "MyResetConfig complete",
     ""},
    {"new default file: start refused", "file:other.ini=aoi=0 0 48 24", "is_CaptureVideo:1#2 = 125",
     "load; 42 other.ini -> 0; key CamShareLast -> -1",
     "LoadFile Param File loaded: $DIR\\other.ini\nMyResetConfig is_CaptureVideo... retval=1\n"
     "MyResetConfig is_CaptureVideo failure: 125\nIS_CAP_STATUS_COUNT: 0\n"
     "!MyResetConfig complete",
     ""},
    {"new default file while a configuration is active: the configuration's", kShared, "",
     "load; 42 other.ini -> 1; 42 OTHER.INI -> 1",
     "MyReloadFile1 file=$DIR\\ueyecam_3.ini found=1\nMyResetConfig complete\n"
     "MyResetConfig same config",
     ""},
    {"no camera loaded: nothing called, the blocks left as the host filled them",
     "cameras=; CamShareConfig=1", "",
     "45 2 -> 0 -1 -1 -1 -1; 45 1 -> 0 -1 -1 -1 -1; 46 -> 1 -1 -1; 44 -> 0 7; 43 1 50 -> 1; "
     "42 x.ini -> 0; 32 3 -> 1",
     "PraxCamRes hCam=0 datasetMajor=0 datasetMinor=0 productRange=0 modelNumber=0 ok=0 dtRead=*\n"
     "PraxControl hCam=0 type=1 percent=50 ok1=0 ok2=0 *\nMyResetConfig no camera loaded\n"
     "MySetStreamId camId = 3 gCamShareConfig=1 gCurCamConfigId=4294967295\n"
     "MySetStreamId no camera loaded",
     "!is_"},
    {"the stream mutex cannot be made (an event has its name): a switch does nothing, frames "
     "count as not live",
     "cameras=A B; CamSN_2=A; CamSN_5=B; UEYECAM=event", "",
     "load; 32 5 -> 1; event 0 +frame 64x48",
     "MySetStreamId found i = 1\n!MySetStreamId *\nMyGetFrameBuffer received non live frame: 1",
     "is_TriggerMode hCam=2 mode=0x8004\n!is_"},
    {"the stream mutex abandoned by a thread: taken all the same",
     "cameras=A B; CamSN_2=A; CamSN_5=B; sim1:stalled=0; UEYECAM=abandoned", "", "load; 32 5 -> 1",
     "MySetStreamId starting new...\nMySetStreamId success t=*", ""},
    {"a new default file after STOP: no memory for the closed camera, answer 0",
     "file:other.ini=aoi=0 0 48 24", "", "load; 6 -> 1; 42 other.ini -> 0",
     "***** UEYECAM InitDisplayMode2\nMyReloadFile m_nSizeX=* ret=-1\n"
     "MyResetConfig is_CaptureVideo failure: *",
     ""},
    {"a switch holds the stream mutex while it stops and starts cameras",
     TWO_CAMERAS "; probe=is_CaptureVideo:1#1+; probe=is_StopLiveVideo#1", "",
     "load; 32 2 -> 1 +held UEYECAM; 32 5 -> 1 +held UEYECAM +held UEYECAM", "", ""},
};

TEST_F(Commands, StreamSwitchAndReload) {
    RunAll(kStreams);
}

const Row kFocus[] = {
    {"type 2 without a trigger key: trigger high to low", "focus=2", "", "load; 8 -> 1",
     "StartFocus BEGIN\nUEYE MyStrobeEnable focusType=2 defType=2\nUEYE ini=$DIR\\tarvello.ini\n"
     "UEYE triggerType=2\nUEYE setting trigger HI_LO: 4097\nUEYE focus config success: 0\n"
     "Trigger after live live=1 supported trigger=4299 current trigger=4097\n"
     "supported=IS_SET_TRIGGER_HI_LO\nsupported=IS_SET_TRIGGER_LO_HI\n"
     "supported=IS_SET_TRIGGER_SOFTWARE\nsupported=IS_SET_TRIGGER_PRE_HI_LO\n"
     "supported=IS_SET_TRIGGER_PRE_LO_HI\ntrigger=IS_SET_TRIGGER_HI_LO\nStartFocus END",
     "is_StopLiveVideo hCam=1 wait=1 -> 0\nis_TriggerMode hCam=1 mode=0x1001 -> 0\n"
     "is_CaptureVideo hCam=1 wait=0 -> 0"},
    {"trigger mode refused: logged, live video restarted", "focus=2", "is_TriggerMode:4097 = 125",
     "load; 8 -> 1",
     "UEYE setting trigger HI_LO: 4097\nUEYE focus config failed: 125\n"
     "Trigger after live live=1 supported trigger=4299 current trigger=4104\n"
     "trigger=IS_SET_TRIGGER_SOFTWARE\nStartFocus END",
     "is_TriggerMode hCam=1 mode=0x1001 -> 125\nis_CaptureVideo hCam=1 wait=0 -> 0"},
    {"type 1, trigger 3: low to high", "focus=1; trigger=3", "", "load; 8 -> 1",
     "UEYE MyStrobeEnable focusType=1 defType=1\nUEYE triggerType=3\n"
     "UEYE setting trigger LO_HI: 4098\nUEYE focus config success: 0",
     "is_TriggerMode hCam=1 mode=0x1002 -> 0"},
    {"strobe refused", "focus=1", "is_IO:20 = 125", "load; 8 -> 1",
     "UEYE triggerType=1\nUEYE setting strobe out: 2\nUEYE focus config failed: 125",
     "is_IO hCam=1 cmd=20 size=4 value=2 -> 125\nis_CaptureVideo hCam=1 wait=0"},
    {"a trigger that is no number, and an unknown type: strobe", "focus=7; trigger=abc", "",
     "load; 8 -> 1",
     "UEYE MyStrobeEnable focusType=7 defType=1\nUEYE triggerType=0\nUEYE setting strobe out: 2",
     "is_TriggerMode hCam=1 mode=0x8004\n!is_TriggerMode hCam=1 mode=0x1001\n"
     "!is_TriggerMode hCam=1 mode=0x1002\nis_IO hCam=1 cmd=20 size=4 value=2 -> 0"},
    {"stop with every call refused: every step still made", "focus=1",
     "is_StopLiveVideo = 125; is_IO:20 = 125; is_TriggerMode:4104#2 = 125; is_CaptureVideo:0 = 125",
     "load; 10 -> 1",
     "StopFocus BEGIN\nMyStrobeDisable\nMyStrobeDisable1 live=1 *\nMyStrobeDisable2 live=1 *\n"
     "StopFocus END",
     "is_StopLiveVideo hCam=1 wait=1 -> 125\nis_IO hCam=1 cmd=20 size=4 value=0 -> 125\n"
     "is_TriggerMode hCam=1 mode=0x1008 -> 125\nis_CaptureVideo hCam=1 wait=0 -> 125"},
    {"trigger modes as the library reports them", "focus=1",
     "is_TriggerMode:32772#1+ out result=0xcb; is_TriggerMode:32768#1+ out result=0",
     "load; 10 -> 1",
     "***** UEYECAM OnInitDialog3 modes=203\n!***** UEYECAM OnInitDialog4\n"
     "MyStrobeDisable1 live=1 supported trigger=203 current trigger=0\n!supported=*\n"
     "trigger unknown=0",
     ""},
    {"free run: the camera is not touched", "focus=3", "", "load; 8 -> 1; 10 -> 1",
     "StartFocus BEGIN\nStartFocus END\nStopFocus BEGIN\nStopFocus END",
     "is_TriggerMode hCam=1 mode=0x8004\n!is_"},
    {"the focus lock is held through the change, stop and restart included",
     "focus=1; probe=is_StopLiveVideo#1; probe=is_CaptureVideo:0#2", "",
     "load; 8 -> 1 +held FOCUS_LOCK; 10 -> 1 +held FOCUS_LOCK; 34 1 -> 1 1", "", ""},
};

TEST_F(Commands, Focus) {
    RunAll(kFocus);
}

const Row kAreaAndTiming[] = {
    {"area read refused: the block is left alone", "", "is_AOI:2 = 125",
     "load; 45 2 -> 0 -1 -1 -1 -1", "***** UEYECAM GetAoiRect error=125",
     "is_TriggerMode hCam=1 mode=0x8004\n!is_StopLiveVideo\nis_AOI hCam=1 cmd=2 size=16 -> 125"},
    {"area set refused and not read back: the block holds what was asked", "sim0:stalled=0",
     "is_AOI:1 = 125; is_AOI:2#1 = 125", "load; 45 1 0 0 32 16 -> 1 0 0 32 16; frames -> 64x48",
     "MyCam::SetAoiRect x=0 y=0 w=32 h=16\nMyCam::SetAoiRect is_AOI=125\n"
     "MyCam::SetAoiRect x=0 y=0 w=32 h=16\n***** UEYECAM ReallocMemory x=0 y=0 w=64 h=48",
     ""},
    {"no memory for the new area: nothing activated, live video cannot restart", "",
     "is_ImageMemAlloc#2 = 2", "load; 45 1 0 0 32 16 -> 1 0 0 32 16",
     "***** UEYECAM ReallocMemory w=32 y=16\n***** UEYECAM InitDisplayMode9\n"
     "***** UEYECAM InitDisplayMode10\n!***** UEYECAM InitDisplayMode11\nSetTimeStats *",
     "is_ImageMemAlloc hCam=1 w=32 h=16 bits=24 -> 2\n!is_ImageMemActivate\n"
     "is_CaptureVideo hCam=1 wait=1 -> 108"},
    {"limits unreadable", "", "is_AOI:16 = 125; is_AOI:7 = 125",
     "load; 45 1 0 0 32 16 -> 1 0 0 64 48",
     "MyCam::SetAoiRect GetSizMax nRet=125 w=0 h=0\nMyCam::SetAoiRect GetPosMin nRet=125 x=0 y=0\n"
     "MyCam::SetAoiRect x=16 y=8 w=0 h=0",
     ""},
    {"steps of 0: no rounding", "", "is_AOI:18 out w=0 h=0; is_AOI:17 out x=0 y=0",
     "load; 45 1 1 1 33 17 -> 1 0 0 64 48", "MyCam::SetAoiRect x=1 y=1 w=33 h=17", ""},
    {"a rectangle bounded by the sensor keeps its centre", "", "",
     "load; 45 1 10 10 100 60 -> 1 0 0 64 48", "MyCam::SetAoiRect x=28 y=16 w=64 h=48",
     "is_AOI hCam=1 cmd=1 size=16 in=28,16,64,48 -> 125"},
    {"an exposure of 1e-12 (as good as 0): no frame-rate cap", "", "is_Exposure:7#1 out ms=1e-12",
     "load; 45 1 0 0 32 16 -> 1 0 0 32 16",
     "GetTimeStats dFrameRate=50 dExposure=1e-*12 dFpsCap=0\nSetTimeStats dFrameRate=50 "
     "dExposure=0.01 "
     "dFpsCap=0",
     "is_FrameRate hCam=1 fps=0 -> 0"},
    {"frame rate and exposure unreadable: 0", "", "is_FrameRate = 125; is_Exposure:7 = 125",
     "load; 46 -> 1 0 0", "", ""},
    {"frame rate and exposure as the camera reports them", "",
     "is_FrameRate out new=12.5; is_Exposure:7 out ms=80", "load; 46 -> 1 12.5 80", "", ""},
    {"exposure range unreadable: no usable range", "MaxExposureMs=40", "is_Exposure:6 = 125",
     "load; 15 50 -> 1",
     "GetExposure max override ed.dMax=40000 dblRange[1]=0\n"
     "GetExposure nRet=125 min=0 max=0 int=0\n!SetExposure*",
     "!is_Exposure hCam=1 cmd=12"},
};

TEST_F(Commands, AreaOfInterestAndTiming) {
    RunAll(kAreaAndTiming);
}

// Memory runs out in a camera call of each kind of command (or another exception comes): the
// command stops there, logs it and answers what its code always answers, 0 for 42, 44 and 45;
// the locks it took are free again.
const Row kCutShort[] = {
    {"the commands of one camera",
     "focus=1; MaxExposureMs=1; throw=is_StopLiveVideo#1-3; probe=is_Exposure:12; "
     "raise=is_Exposure:12; throw=is_FrameRate; throw=is_CameraMemory:6#1-2; throw=is_AOI:2; "
     "throw=is_AOI:16; throw=is_EventMessage:4096#2",
     "",
     "load; 8 -> 1; 10 -> 1; 15 50 -> 1; 46 -> 1 -1 -1; 43 0 50 -> 1; 44 -> 0 7; "
     "45 2 -> 0 -1 -1 -1 -1; 42 other.ini -> 0; 45 1 0 0 32 16 -> 0 0 0 32 16; 6 -> 1",
     "UEYE MyStrobeEnable focusType=1 defType=1\nTrvCmd: out of memory in command 8\n"
     "!StartFocus END\nMyStrobeDisable1 *\nTrvCmd: out of memory in command 10\n"
     "SetExposure: *\nTrvCmd: exception in command 15\nTrvCmd: out of memory in command 46\n"
     "TrvCmd: out of memory in command 43\nTrvCmd: out of memory in command 44\n"
     "TrvCmd: out of memory in command 45\nMyResetConfig load new config\n"
     "TrvCmd: out of memory in command 42\nTrvCmd: out of memory in command 45\n"
     "TrvCmd: _TRV_DSHOW_CMD_STOP\nTrvCmd: out of memory in command 6",
     ""},
    {"a camera switch: the next one starts the camera",
     TWO_CAMERAS "; throw=is_CaptureVideo:1@cam1#1; probe=is_CameraMemory:6", "",
     "load; 32 2 -> 1; 32 5 -> 1; 44 -> 1 5.5; 32 5 -> 1; frames -> 32x16",
     "MySetStreamId stopping current...\nMySetStreamId starting new...\n"
     "TrvCmd: out of memory in command 32\n!MySetStreamId *\nMySetStreamId camId = 5 *\n"
     "MySetStreamId starting new...\nMySetStreamId success t=*",
     "is_StopLiveVideo hCam=1 wait=1 -> 0\n!is_CaptureVideo hCam=2\nis_CameraMemory\n"
     "is_CaptureVideo hCam=2 wait=1 -> 0"},
    {"a configuration switch: the next one does it",
     "CamShareConfig=1; CamShareLast=3; sim0:stalled=0; file:ueyecam_3.ini=aoi=0 0 32 16; "
     "file:ueyecam_5.ini=aoi=0 0 48 24; throw=is_StopLiveVideo#1",
     "", "load; 32 5 -> 1; frames -> 32x16; 32 5 -> 1; frames -> 48x24",
     "TrvCmd: out of memory in command 32\nMySetStreamId load new config\nMySetStreamId success1",
     ""},
    {"the first try of each cut short, the second does the work",
     "sim0:stalled=0; focus=1; "
     "file:other.ini=aoi=0 0 48 24; throw=is_StopLiveVideo#1; "
     "throw=is_StopLiveVideo#3; throw=is_StopLiveVideo#5",
     "",
     "load; 8 -> 1; frames -> 64x48; 8 -> 1; frames -> 64x48; 10 -> 1; 10 -> 1; "
     "frames -> 64x48; 42 other.ini -> 0; frames -> 64x48; 42 other.ini -> 1; frames -> 48x24",
     "TrvCmd: out of memory in command 8\nStartFocus END\nTrvCmd: out of memory in command 10\n"
     "MyStrobeDisable1 *\nTrvCmd: out of memory in command 42\nMyResetConfig complete",
     ""},
};

TEST_F(Commands, CutShort) {
    RunAll(kCutShort);
}

// The lens record: version 1.2, resolution 5.5; output 0 base 7000 at 50 %, output 1 base 20000
// at 80 %; the camera's output limits 8000 to 10000.
constexpr const char* kLimits = "sim0:io_limits=8000 10000";

const Row kLens[] = {
    {"record read, output 0 set", kLimits, "", "load; 44 -> 1 5.5; 43 0 50 -> 1",
     "PraxCamRes hCam=1 datasetMajor=1 datasetMinor=2 productRange=3 modelNumber=0 ok=1 "
     "dtRead=*\nPraxCamRes hCam=1 calibration=0.0055 calibrationUnits=2 xres=5.5 yres=5.5\n"
     "PraxControl hCam=1 type=0 percent=50 ok1=1 ok2=1 dtRead=* dtWrite=*",
     "is_CameraMemory hCam=1 cmd=6 size=4 -> 0 size=41\n"
     "is_CameraMemory hCam=1 cmd=4 size=24 offset=0 count=41 zero=0 -> 0 bytes=010203\n"
     "is_IO hCam=1 cmd=22 size=16 -> 0 limit=8000\nis_IO hCam=1 cmd=23 size=16 -> 0 limit=10000\n"
     "is_IO hCam=1 cmd=26 size=16 base=8000 level=0.25 -> 0\nis_IO hCam=1 cmd=28 size=4 value=2 -> "
     "0"},
    {"size unreadable: nothing read, the outputs left alone", kLimits, "is_CameraMemory:6#1-2 = 5",
     "load; 44 -> 0 7; 43 0 50 -> 1",
     "PraxCamRes hCam=1 datasetMajor=0 datasetMinor=0 productRange=0 modelNumber=0 ok=0 dtRead=*\n"
     "PraxCamRes hCam=1 calibration=0 calibrationUnits=0 xres=7 yres=7\n"
     "PraxControl hCam=1 type=0 percent=50 ok1=0 ok2=0 *",
     "!is_CameraMemory hCam=1 cmd=4\n!is_IO"},
    {"read refused", kLimits, "is_CameraMemory:4#1-2 = 5", "load; 44 -> 0 7; 43 0 50 -> 1",
     "PraxCamRes hCam=1 * ok=0 *\nPraxControl hCam=1 type=0 percent=50 ok1=0 ok2=0 *", "!is_IO"},
    {"a size of 4294967295: not read", kLimits, "is_CameraMemory:6 out size=4294967295",
     "load; 44 -> 0 7", "ReadPraxCamData size=4294967295 too large\nPraxCamRes hCam=1 * ok=0 *",
     "!is_CameraMemory hCam=1 cmd=4"},
    {"64 KiB: only the record's 41 bytes are read", kLimits, "is_CameraMemory:6 out size=65536",
     "load; 44 -> 1 5.5", "PraxCamRes hCam=1 * ok=1 *",
     "is_CameraMemory hCam=1 cmd=4 size=24 offset=0 count=41 zero=0 -> 0"},
    {"64 KiB and one byte: refused before any read", kLimits, "is_CameraMemory:6 out size=65537",
     "load; 44 -> 0 7", "ReadPraxCamData size=65537 too large\nPraxCamRes hCam=1 * ok=0 *",
     "is_CameraMemory hCam=1 cmd=6\n!is_CameraMemory hCam=1 cmd=4"},
    {"0 bytes: nothing to read", kLimits, "is_CameraMemory:6 out size=0", "load; 44 -> 0 7",
     "ReadPraxCamData size=0 shorter than a record\nPraxCamRes hCam=1 * ok=0 *",
     "is_CameraMemory hCam=1 cmd=4 size=24 offset=0 count=0 zero=0 -> 0"},
    {"40 bytes: shorter than a record", kLimits, "is_CameraMemory:6 out size=40", "load; 44 -> 0 7",
     "ReadPraxCamData size=40 shorter than a record\nPraxCamRes hCam=1 * ok=0 *",
     "is_CameraMemory hCam=1 cmd=4 size=24 offset=0 count=40 zero=0 -> 0"},
    {"dataset version 2", kLimits, "is_CameraMemory:4#1+ out bytes=02",
     "load; 44 -> 0 7; 43 1 50 -> 1",
     "PraxCamRes hCam=1 datasetMajor=0 * ok=0 *\nPraxControl hCam=1 type=1 percent=50 ok1=0 ok2=0 "
     "*",
     "!is_IO"},
    {"a calibration of 0: no resolution", kLimits,
     "is_CameraMemory:4 out bytes=01020300000000000000000000000000501400320700000000000000000000000"
     "00000000000000002",
     "load; 44 -> 0 0",
     "PraxCamRes hCam=1 calibration=0 calibrationUnits=2 xres=0 yres=0\n"
     "PraxCamRes NULL resolution, returning false",
     ""},
    {"limits unreadable: the base is neither raised nor lowered", kLimits,
     "is_IO:22 = 5; is_IO:23 = 5", "load; 43 0 50 -> 1",
     "PraxControl hCam=1 type=0 percent=50 ok1=1 ok2=1 *",
     "is_IO hCam=1 cmd=22 size=16 -> 5\nis_IO hCam=1 cmd=23 size=16 -> 5\n"
     "is_IO hCam=1 cmd=26 size=16 base=7000 level=0.25 -> 125\nis_IO hCam=1 cmd=28 size=4 value=2 "
     "-> 0"},
    {"apply refused", kLimits, "is_IO:28 = 5", "load; 43 0 50 -> 1",
     "PraxControl hCam=1 type=0 percent=50 ok1=1 ok2=0 *",
     "is_IO hCam=1 cmd=28 size=4 value=2 -> 5"},
    {"switch to output 1, its configuration refused; then only its level", kLimits, "is_IO:30 = 5",
     "load; 43 1 150 -> 1; 43 1 50 -> 1",
     "PraxControl hCam=1 type=1 percent=150 ok1=1 ok2=1 *\nPraxControl hCam=1 type=1 percent=50 "
     "ok1=1 ok2=1 *",
     "is_IO hCam=1 cmd=22 size=16 -> 0 limit=8000\nis_IO hCam=1 cmd=23 size=16 -> 0 limit=10000\n"
     "is_IO hCam=1 cmd=26 size=16 base=10000 level=0 -> 0\nis_IO hCam=1 cmd=28 size=4 value=2 -> "
     "0\n"
     "is_IO hCam=1 cmd=30 size=64 words=1,0,2,1 -> 5\n"
     "is_IO hCam=1 cmd=26 size=16 base=10000 level=0.8 -> 0\nis_IO hCam=1 cmd=28 size=4 value=2 -> "
     "0\n"
     "is_IO hCam=1 cmd=22 size=16 -> 0 limit=8000\n!is_IO hCam=1 cmd=30\n"
     "is_IO hCam=1 cmd=26 size=16 base=10000 level=0.4 -> 0"},
    {"no such output: nothing sent", kLimits, "", "load; 43 2 50 -> 1; 43 -1 50 -> 1",
     "PraxControl hCam=1 type=2 percent=50 ok1=1 ok2=0 *\n"
     "PraxControl hCam=1 type=-1 percent=50 ok1=1 ok2=0 *",
     "!is_IO"},
};

TEST_F(Commands, LensDataAndOutputs) {
    RunAll(kLens);
}

const Row kEvents[] = {
    {"transfer failure, CamErrorLog absent: the whole report", "",
     "is_CaptureStatus:2 out total=2 c178=1 c199=1", "load; event 3 +error",
     "OnUEyeMessage IS_TRANSFER_FAILED\nIS_CAP_STATUS_COUNT: 2\n"
     "IS_CAP_STATUS_DRV_OUT_OF_BUFFERS: 1\nIS_CAP_STATUS_USB_TRANSFER_FAILED: 1\n"
     "host: error callback",
     "is_CaptureStatus hCam=1 cmd=2\nis_CaptureStatus hCam=1 cmd=1"},
    {"CamErrorLog=0: neither the first line, the count nor the USB row", "CamErrorLog=0",
     "is_CaptureStatus:2 out total=2 c178=1 c199=1", "load; event 3 +error",
     "!OnUEyeMessage*\n!IS_CAP_STATUS_COUNT*\nIS_CAP_STATUS_DRV_OUT_OF_BUFFERS: 1\n"
     "!IS_CAP_STATUS_USB*",
     "is_CaptureStatus hCam=1 cmd=1"},
    {"CamErrorLog=2", "CamErrorLog=2", "is_CaptureStatus:2 out total=1 c199=1",
     "load; event 3 +error", "!OnUEyeMessage*\n!IS_CAP_STATUS*", ""},
    {"CamErrorLog=1 followed by text: 1", "CamErrorLog=1x", "", "load; event 3 +error",
     "OnUEyeMessage IS_TRANSFER_FAILED\nIS_CAP_STATUS_COUNT: 0", ""},
    {"a total of 0: the count line only", "", "is_CaptureStatus:2 out total=0 c178=1",
     "load; event 3 +error", "IS_CAP_STATUS_COUNT: 0\n!IS_CAP_STATUS_DRV*", ""},
    {"capture status unreadable", "", "is_CaptureStatus:2 = 125", "load; event 3 +error",
     "OnUEyeMessage IS_TRANSFER_FAILED\nIsTransferFailed ERROR: is_CaptureStatus=125",
     "is_CaptureStatus hCam=1 cmd=1 size=0 -> 0"},
    {"generic error; event 2 reports nothing", "", "", "load; event 7 +error; event 2",
     "OnUEyeMessage IS_GENERIC_ERROR\nhost: error callback\n!*", ""},
    {"no error callback; an exception in an event stays in the camera window",
     "errors=none; throw=is_CaptureStatus:2#2", "", "load; event 3; event 3; event 7",
     "OnUEyeMessage IS_TRANSFER_FAILED\nIS_CAP_STATUS_COUNT: 0\nOnUEyeMessage IS_TRANSFER_FAILED\n"
     "!IS_CAP_STATUS_COUNT*\nOnUEyeMessage IS_GENERIC_ERROR",
     ""},
    {"frames of a camera not live: logged, delivered; no buffers: not delivered; without a frame "
     "callback: neither",
     "cameras=A B; CamSN_1=A; CamSN_2=B", "",
     "load; event 0 nomem; event 0 +frame 64x48; 47 -> 1; event 0",
     "MyGetFrameBuffer received non live frame: 1\n"
     "MyGetFrameBuffer cannot allocate frame buffers of 9216 bytes\n"
     "MyGetFrameBuffer received non live frame: 1\n!MyGetFrameBuffer*",
     ""},
    {"the camera thread without its window: the cameras load, the thread ends", "", "",
     "thread -> 1 ready=9 running=0",
     "***** UEYECAM uEueCamThread no camera window, error *\nMyLoadSingle end\n"
     "***** UEYECAM uEueCamThread2\n***** UEYECAM uEueCamThread3\n***** UEYECAM uEueCamThread4",
     "is_EventMessage hCam=1 event=4096 hWnd=null"},
    {"memory runs out while the camera thread loads: it stops, not ready", "throw=is_CameraInit",
     "", "thread -> 1 ready=0 running=0",
     "***** UEYECAM uEueCamThread stopped by an exception\n!***** UEYECAM uEueCamThread2",
     "is_CameraList\n!is_"},
    {"errors posted as calls return: after the command's lines", "focus=1",
     "is_CaptureVideo:1#1 event 3; is_StopLiveVideo#1 event 7", "load +error; 10 -> 1 +error",
     "***** UEYECAM OpenCamera9\nMyLoadSingle end\nOnUEyeMessage IS_TRANSFER_FAILED\n"
     "StopFocus END\nOnUEyeMessage IS_GENERIC_ERROR",
     ""},
};

TEST_F(Commands, ErrorEvents) {
    RunAll(kEvents);
}

const Row kClosing[] = {
    {"STOP closes every camera once, in this order", "cameras=A B; CamSN_1=A; CamSN_2=B", "",
     "load; 6 -> 1; 6 -> 1", "TrvCmd: _TRV_DSHOW_CMD_STOP\nTrvCmd: _TRV_DSHOW_CMD_STOP",
     "is_EventMessage hCam=1 event=4096 hWnd=null\n!is_\nis_EventMessage hCam=1 event=4 hWnd=n\n"
     "!is_\nis_EventMessage hCam=1 event=0 hWnd=n\n!is_\nis_EventMessage hCam=1 event=2 hWnd=n\n"
     "!is_\nis_EventMessage hCam=1 event=3 hWnd=n\n!is_\nis_EventMessage hCam=1 event=7 hWnd=n\n"
     "!is_\nis_StopLiveVideo hCam=1 wait=1 -> 0\n!is_\nis_ImageMemFree hCam=1 * -> 0\n!is_\n"
     "is_CameraExit hCam=1 -> 0\nis_EventMessage hCam=2 event=4096 hWnd=null\nis_CameraExit hCam=2 "
     "-> 0\n"
     "!is_"},
    {"CLOSE", "cameras=A B; CamSN_1=A; CamSN_2=B", "", "load; 4 -> 1",
     "TrvCmd: _TRV_DSHOW_CMD_CLOSE", "is_CameraExit hCam=1 -> 0\nis_CameraExit hCam=2 -> 0"},
    {"UNLOAD, the stops refused", "cameras=A B; CamSN_1=A; CamSN_2=B", "is_StopLiveVideo#1+ = 125",
     "load; 2 -> 1", "TrvCmd: _TRV_DSHOW_CMD_UNLOAD",
     "is_StopLiveVideo hCam=1 wait=1 -> 125\nis_ImageMemFree hCam=1 * -> 0\nis_CameraExit hCam=1 "
     "-> 0\n"
     "is_StopLiveVideo hCam=2 wait=1 -> 125\nis_CameraExit hCam=2 -> 0"},
};

TEST_F(Commands, Closing) {
    RunAll(kClosing);
}

} // namespace
