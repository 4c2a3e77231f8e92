// Loading the cameras when the library fails or answers oddly: the camera list, choosing and
// opening a camera, its parameter file, its image memory and live video.
#include "failure_table.h"

namespace {

using trvtest::Row;

class Load : public trvtest::FailureTable {};

const Row kListAndOpen[] = {
    {"open: events in their order, software trigger, then live video", "", "", "load",
     "***** UEYECAM OpenCamera1 userSerNO()\n***** UEYECAM OpenCamera2a\n***** UEYECAM "
     "OpenCamera2b\n"
     "***** UEYECAM OpenCamera3\nLoadFile3: $DIR\\ueyecam.ini\n***** UEYECAM OpenCamera4\n"
     "***** UEYECAM OpenCamera5 m_nSizeX=64 m_nSizeY=48\n***** UEYECAM OpenCamera6\n"
     "***** UEYECAM OpenCamera7\n***** UEYECAM OpenCamera8\n***** UEYECAM streaming live video\n"
     "***** UEYECAM OpenCamera9",
     "is_EventMessage hCam=1 event=4096 hWnd=window\n!is_\nis_EventMessage hCam=1 event=4 hWnd=w\n"
     "!is_\nis_EventMessage hCam=1 event=0 hWnd=w\n!is_\nis_EventMessage hCam=1 event=2 hWnd=w\n"
     "!is_\nis_EventMessage hCam=1 event=3 hWnd=w\n!is_\nis_EventMessage hCam=1 event=7 hWnd=w\n"
     "!is_\nis_TriggerMode hCam=1 mode=0x1008 -> 0\n!is_\nis_CaptureVideo hCam=1 wait=1 -> 0"},
    {"count fails: the list stays empty, the next camera enumerates again",
     "cameras=A B; CamSN_1=A; CamSN_2=B", "is_CameraCount#1 = 1", "load",
     "ERROR: Could not receive camera count\n***** UEYECAM OpenCamera2b\n"
     "UEYE ERROR: Unble to find camera A\n!ERROR: *\nUEYE Opened camera B\n"
     "MyLoadMultiple gMyCams.size()=2",
     "is_CameraCount -> 1\n!is_CameraList\n!is_CameraInit\nis_CameraCount -> 0 count=2\n"
     "is_CameraList count=2 -> 0\nis_CameraInit id=0x8002 "},
    {"list fails", "cameras=A B; CamSN_1=A; CamSN_2=B", "is_CameraList#1 = 1", "load",
     "ERROR: Could not receive camera list\nUEYE ERROR: Unble to find camera A\n"
     "UEYE Opened camera B",
     "is_CameraList count=2 -> 1\n!is_CameraInit\nis_CameraList count=2 -> 0"},
    {"a negative count is no camera: the first free camera is opened", "",
     "is_CameraCount out count=-3", "load", "!ERROR: *\n***** UEYECAM OpenCamera9",
     "is_CameraCount -> 0 count=-3\nis_CameraList count=0 -> 0\nis_CameraInit id=0x0 "},
    {"a count above 4096: a list of 4096 asked for", "", "is_CameraCount out count=5000", "load",
     "***** UEYECAM OpenCamera9", "is_CameraCount -> 0 count=5000\nis_CameraList count=4096 -> 0"},
    {"a list shorter than the count: only its entries are read", "cameras=A B; CamSN=B",
     "is_CameraList out count=1", "load", "!UEYE Opened camera B\n***** UEYECAM OpenCamera9",
     "is_CameraList count=2 -> 0 count=1\nis_CameraInit id=0x0 "},
    {"serial not listed (a prefix of one): no init call, the record stays closed",
     "cameras=AB; CamSN_1=A", "", "load; 45 2 -> 0 -1 -1 -1 -1",
     "UEYE ERROR: Unble to find camera A\n!***** UEYECAM OpenCamera3\n***** UEYECAM OnInitDialog2\n"
     "MyLoadMultiple gMyCams.size()=1\n!MyLoadSingle begin\n***** UEYECAM GetAoiRect error=1",
     "!is_CameraInit"},
    {"serial that fails to open", "CamSN_1=A", "is_CameraInit = 3", "load",
     "UEYE ERROR: Unble to open camera A\n!***** UEYECAM OpenCamera3\n"
     "***** UEYECAM OnInitDialog2",
     "is_CameraInit id=0x8001 * -> 3\n!is_CameraInit"},
    {"serial asks for a retry", "CamSN_1=A", "is_CameraInit#1 = 184", "load",
     "UEYE Opened camera A\n***** UEYECAM OpenCamera3\nLoadFile2 file=$DIR\\ueyecam_A.ini found=0\n"
     "***** UEYECAM OpenCamera8\n!***** UEYECAM streaming live video\n***** UEYECAM OnInitDialog2",
     "is_CameraInit id=0x8001 * -> 184\nis_InitRetryQuery hCam=32769 cmd=4 -> 0 "
     "value=25000\nis_CameraInit id=0x18001 * -> 0 hCam=1"},
    {"CamSN of no camera listed (in another case): the first free one, without a word",
     "cameras=A B; CamSN=b", "", "load",
     "!UEYE *\n!LoadFile2 *\nLoadFile3: $DIR\\ueyecam.ini\n***** UEYECAM OpenCamera9",
     "is_CameraInit id=0x0 "},
    {"CamSN that fails to open: the first free one", "cameras=A B; CamSN=B",
     "is_CameraInit@cam1 = 3", "load",
     "UEYE ERROR: Unble to open camera B\n!LoadFile2 *\n***** UEYECAM OpenCamera9",
     "is_CameraInit id=0x8002 * -> 3\nis_CameraInit id=0x0 * -> 0"},
    {"the first free camera fails to open", "", "is_CameraInit = 77",
     "load; 45 2 -> 0 -1 -1 -1 -1; 46 -> 1 0 0",
     "***** UEYECAM OpenCamera2b\n***** UEYECAM OpenCamera11\n!***** UEYECAM OpenCamera3\n"
     "***** UEYECAM OnInitDialog2\nMyLoadSingle end\n***** UEYECAM GetAoiRect error=1",
     "is_CameraInit id=0x0 * -> 77\n!is_CameraInit"},
    {"the first free camera asks for a retry twice", "", "is_CameraInit#1-2 = 184", "load",
     "***** UEYECAM OpenCamera11",
     "is_CameraInit id=0x0 * -> 184\nis_InitRetryQuery hCam=0 cmd=4\n"
     "is_CameraInit id=0x10000 * -> 184\n!is_CameraInit"},
    {"one camera: CamSN is not read", "CamSN=A", "", "load", "!UEYE *\n***** UEYECAM OpenCamera9",
     "is_CameraInit id=0x0 "},
    {"a count word larger than the list asked for: no more entries read", "CamSN=A",
     "is_CameraList out count=6", "load", "!UEYE *", "is_CameraInit id=0x0 "},
    {"the list is made once: a camera it lacks is not found later",
     "cameras=A B; CamSN_1=A; CamSN_2=B", "is_CameraCount out count=1", "load",
     "UEYE Opened camera A\nUEYE ERROR: Unble to find camera B",
     "is_CameraCount -> 0 count=1\n!is_CameraCount"},
    {"the same serial twice: the second record finds its camera in use", "CamSN_1=A; CamSN_3=A", "",
     "load; 32 3 -> 1",
     "UEYE Opened camera A\nUEYE ERROR: Unble to open camera A\n"
     "MyLoadMultiple gMyCams.size()=2\nMySetStreamId found i = 1\n"
     "***** UEYECAM is_CaptureVideo failure: 1\nIsTransferFailed ERROR: is_CaptureStatus=1\n"
     "MySetStreamId finished",
     "is_CameraInit id=0x8001 * -> 3"},
};

TEST_F(Load, CameraListAndOpen) {
    RunAll(kListAndOpen);
}

// Parameter files: of the configuration, of the serial number, the default; each tried until
// one loads, the configuration remembered only when its own file loaded.
const Row kParameterFiles[] = {
    {"no file at all", "", "", "load; key CamShareLast -> <none>",
     "***** UEYECAM OpenCamera3\n!LoadFile1*\n!LoadFile2*\nLoadFile3: $DIR\\ueyecam.ini\n"
     "LoadFile Param File NOT loaded: $DIR\\ueyecam.ini\n***** UEYECAM OpenCamera4",
     "is_ParameterFile hCam=1 cmd=2 size=0 path=$DIR\\ueyecam.ini -> 188"},
    {"the default file", "file:ueyecam.ini=aoi=0 0 32 16", "", "load; key CamShareLast -> <none>",
     "LoadFile Param File loaded: $DIR\\ueyecam.ini\n"
     "***** UEYECAM OpenCamera5 m_nSizeX=32 m_nSizeY=16",
     ""},
    {"the configuration's file", "CamShareConfig=1; CamShareLast=3; file:ueyecam_3.ini=", "",
     "load; key CamShareLast -> 3",
     "LoadFile1 file=$DIR\\ueyecam_3.ini found=1\nLoadFile Param File loaded: $DIR\\ueyecam_3.ini\n"
     "!LoadFile*\n***** UEYECAM OpenCamera4",
     ""},
    {"the configuration's file refused, then the default",
     "CamShareConfig=1; CamShareLast=-1; file:ueyecam_-1.ini=!; file:ueyecam.ini=", "",
     "load; key CamShareLast -> -1",
     "LoadFile1 file=$DIR\\ueyecam_-1.ini found=1\n"
     "LoadFile Param File NOT loaded: $DIR\\ueyecam_-1.ini\nLoadFile3: $DIR\\ueyecam.ini\n"
     "LoadFile Param File loaded: $DIR\\ueyecam.ini",
     ""},
    {"a folder named like the file: not found, still tried",
     "CamShareConfig=1; CamShareLast=0; file:ueyecam_0.ini=/", "", "load",
     "LoadFile1 file=$DIR\\ueyecam_0.ini found=0\n"
     "LoadFile Param File NOT loaded: $DIR\\ueyecam_0.ini",
     "is_ParameterFile hCam=1 cmd=2 size=0 path=$DIR\\ueyecam_0.ini -> 188"},
    {"opened by CamSN: the configuration's, the camera's, the default file",
     "cameras=A B; CamSN=B; CamShareConfig=1; CamShareLast=3; file:ueyecam_B.ini=", "",
     "load; key CamShareLast -> 3",
     "UEYE Opened camera B\nLoadFile1 file=$DIR\\ueyecam_3.ini found=0\nLoadFile Param File NOT "
     "loaded: "
     "$DIR\\ueyecam_3.ini\nLoadFile2 file=$DIR\\ueyecam_B.ini found=1\n"
     "LoadFile Param File loaded: $DIR\\ueyecam_B.ini\n!LoadFile3*\n***** UEYECAM OpenCamera4",
     ""},
    {"opened by serial, its file refused: the default", "CamSN_1=A; file:ueyecam_A.ini=!", "",
     "load",
     "LoadFile2 file=$DIR\\ueyecam_A.ini found=1\n"
     "LoadFile Param File NOT loaded: $DIR\\ueyecam_A.ini\nLoadFile3: $DIR\\ueyecam.ini",
     ""},
};

TEST_F(Load, ParameterFiles) {
    RunAll(kParameterFiles);
}

// Image memory, live video and the capture status when the library refuses them.
const Row kMemoryAndLive[] = {
    {"allocation refused: open without events or live video; a reload makes up for it",
     "sim0:stalled=0", "is_ImageMemAlloc#1 = 2", "load; 42 other.ini -> 1; frames -> 64x48",
     "***** UEYECAM InitDisplayMode9\n***** UEYECAM InitDisplayMode10\n"
     "***** UEYECAM InitDisplayMode12\n***** UEYECAM InitDisplayMode14\n"
     "***** UEYECAM OpenCamera5 m_nSizeX=64 m_nSizeY=48\n***** UEYECAM OpenCamera10\n"
     "!***** UEYECAM OpenCamera6\n***** UEYECAM OnInitDialog2\n"
     "MyReloadFile m_nSizeX=64 m_nSizeY=48 ret=0\nMyReloadFile Enable\nMyResetConfig complete",
     "is_ImageMemAlloc hCam=1 w=64 h=48 bits=24 -> 2\n!is_ImageMemActivate\n!is_ColorMode\n"
     "!is_AOI\n!is_EventMessage\n!is_CaptureVideo\nis_TriggerMode hCam=1 mode=0x8004"},
    {"activation refused: the memory stays, no live video; a switch cannot start it", "",
     "is_ImageMemActivate = 125", "load; 32 0 -> 1",
     "***** UEYECAM InitDisplayMode11\n***** UEYECAM InitDisplayMode12\n"
     "!***** UEYECAM InitDisplayMode13\n***** UEYECAM InitDisplayMode14\n"
     "***** UEYECAM OpenCamera10\nMySetStreamId starting new...\n"
     "***** UEYECAM is_CaptureVideo failure: 108\nIS_CAP_STATUS_COUNT: 0\n"
     "MySetStreamId waiting for image...\nMySetStreamId finished",
     "is_ImageMemActivate hCam=1 * -> 125\n!is_EventMessage\nis_CaptureVideo hCam=1 wait=1 -> "
     "108"},
    {"live video refused: reported with the capture status; a switch starts it", "sim0:stalled=0",
     "is_CaptureVideo:1#1 = 108; is_CaptureStatus:2#1 out total=3 c162=1 c199=2",
     "load; 32 0 -> 1; frames -> 64x48",
     "***** UEYECAM streaming live video\n***** UEYECAM OpenCamera failure: 108\n"
     "IS_CAP_STATUS_COUNT: 3\nIS_CAP_STATUS_API_NO_DEST_MEM: 1\n"
     "IS_CAP_STATUS_USB_TRANSFER_FAILED: 2\n***** UEYECAM OnInitDialog2\n"
     "MySetStreamId starting new...\nMySetStreamId success t=*",
     "is_CaptureVideo hCam=1 wait=1 -> 108\nis_CaptureStatus hCam=1 cmd=2 size=1088 -> 0 total=3\n"
     "is_CaptureStatus hCam=1 cmd=1 size=0 -> 0"},
    {"capture status unreadable: logged, reset all the same", "",
     "is_CaptureVideo:1 = 108; is_CaptureStatus:2 = 125", "load",
     "***** UEYECAM OpenCamera failure: 108\nIsTransferFailed ERROR: is_CaptureStatus=125\n"
     "!IS_CAP_STATUS*\n***** UEYECAM OnInitDialog2",
     "is_CaptureStatus hCam=1 cmd=2 size=1088 -> 125\nis_CaptureStatus hCam=1 cmd=1 size=0 -> 0"},
    {"sizes no memory can be made for: open without events or live video", "",
     "is_AOI:6 out w=-64 h=48", "load",
     "***** UEYECAM InitDisplayMode10\n***** UEYECAM OpenCamera5 m_nSizeX=-64 m_nSizeY=48\n"
     "***** UEYECAM OpenCamera10",
     "is_ImageMemAlloc hCam=1 w=-64 h=48 bits=24 -> 125\n!is_EventMessage"},
    {"the sensor's full width and a monochrome sensor", "sim0:aoi=0 0 32 16",
     "is_AOI:19 out full=1; is_SensorInfo out color=1", "load",
     "***** UEYECAM InitDisplayMode8\n***** UEYECAM OpenCamera5 m_nSizeX=64 m_nSizeY=16",
     "is_ImageMemAlloc hCam=1 w=64 h=16 bits=8 -> 0\nis_ColorMode hCam=1 mode=6"},
    {"colour kind 4: 24 bits a pixel", "sim0:color=4; sim0:stalled=0", "", "load; frames -> 64x48",
     "***** UEYECAM InitDisplayMode7",
     "is_ImageMemAlloc hCam=1 w=64 h=48 bits=24 -> 0\nis_ColorMode hCam=1 mode=1 -> 0\n"
     "is_AOI hCam=1 cmd=5 size=8 in=64,48 -> 0"},
    {"binning and subsampling divide the image",
     "sim0:width=2048; sim0:height=1536; sim0:binning=0x3; sim0:subsampling=0x2; sim0:stalled=0",
     "", "load; frames -> 512x768",
     "GetBinningSizes hx=2 vx=2\nGetSubSamplingSizes hx=2 vx=1\n"
     "***** UEYECAM OpenCamera5 m_nSizeX=512 m_nSizeY=768",
     "is_AOI hCam=1 cmd=5 size=8 in=512,768 -> 0"},
    {"the full sensor height, binned by 4",
     "sim0:width=2048; sim0:height=1536; sim0:aoi=0 0 640 480; sim0:aoi_full=0 1; "
     "sim0:binning=0x4; "
     "sim0:stalled=0",
     "", "load; frames -> 640x384", "***** UEYECAM OpenCamera5 m_nSizeX=640 m_nSizeY=384", ""},
};

TEST_F(Load, MemoryAndLiveVideo) {
    RunAll(kMemoryAndLive);
}

// 255 characters, as many as a serial number is read with.
#define S255                                                                                       \
    "sssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssss"        \
    "sssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssss"        \
    "sssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssss"

// The host settings in their rarer forms: absent, 0, negative, not a number, gaps.
const Row kSettings[] = {
    {"CamSN_Max absent: keys 1 to 20", "", "", "load",
     "MyLoadMultiple maxCams=20\nMyLoadMultiple key=CamSN_1\nMyLoadMultiple key=CamSN_20\n"
     "!MyLoadMultiple key=*\nMyLoadMultiple gMyCams.size()=0\nMyLoadSingle begin",
     ""},
    {"CamSN_Max that is no number: 0", "CamSN_Max=many; CamSN_1=A", "", "load",
     "MyLoadMultiple maxCams=0\n!KEY=*\nMyLoadSingle begin", ""},
    {"CamSN_Max above 1000: keys up to 1000; a serial of 256 characters: 255 of them",
     "CamSN_Max=1001; CamSN_1001=A; CamSN_7=" S255 "s", "", "load",
     "MyLoadMultiple maxCams=1001\nMyLoadMultiple maxCams limited to 1000\n"
     "UEYE ERROR: Unble to find camera " S255 "\nMyLoadMultiple key=CamSN_1000\n"
     "!MyLoadMultiple key=CamSN_1001\nMyLoadMultiple gMyCams.size()=1",
     ""},
    {"keys above CamSN_Max are not read", "CamSN_Max=2; CamSN_3=A", "", "load",
     "MyLoadMultiple key=CamSN_2\n!MyLoadMultiple key=CamSN_3\nMyLoadSingle begin", ""},
    {"gaps and empty keys: ids 2 and 5, in that order",
     "cameras=A B; CamSN_1=; CamSN_2=A; CamSN_5=B; sim0:stalled=0; sim1:stalled=0", "",
     "load; 32 5 -> 1; 32 2 -> 1",
     "MyLoadMultiple key=CamSN_1\n!KEY=*\nKEY=CamSN_2 SERNO=A\nKEY=CamSN_5 SERNO=B\n"
     "MyLoadMultiple gMyCams.size()=2\nMySetStreamId found i = 1\nMySetStreamId success t=*\n"
     "MySetStreamId found i = 0\nMySetStreamId success t=*",
     ""},
    {"CamShareConfig=1 without CamShareLast: no configuration at load",
     "CamShareConfig=1; file:ueyecam_3.ini=aoi=0 0 32 16", "", "load; 32 3 -> 1",
     "!LoadFile1*\nMySetStreamId camId = 3 gCamShareConfig=1 gCurCamConfigId=4294967295\n"
     "MySetStreamId load new config\nLoadFile Param File loaded: $DIR\\ueyecam_3.ini",
     ""},
    {"CamShareLast of the value that means none", "CamShareConfig=1; CamShareLast=195935983", "",
     "load", "!LoadFile1*\nLoadFile3: $DIR\\ueyecam.ini", ""},
    {"CamShareConfig=2: no configuration, cameras switched by id",
     "CamShareConfig=2; CamShareLast=3", "", "load; 32 3 -> 1",
     "!LoadFile1*\nMySetStreamId camId = 3 gCamShareConfig=0 *\n"
     "MySetStreamId unable to find camId",
     ""},
    {"CamShareLast that is no number: configuration 0", "CamShareConfig=1; CamShareLast=abc", "",
     "load", "LoadFile1 file=$DIR\\ueyecam_0.ini found=0", ""},
    {"CamShareConfig with configured cameras: not read at load, a switch uses it",
     "CamSN_1=A; CamShareConfig=1; CamShareLast=3", "", "load; 32 3 -> 1",
     "!LoadFile1*\nMyLoadMultiple gMyCams.size()=1\nMySetStreamId load new config\n"
     "MyReloadFile1 file=$DIR\\ueyecam_3.ini found=0",
     ""},
    {"MaxExposureMs absent: no exposure range, SET_EXPOSURE does nothing", "", "",
     "load; 15 50 -> 1",
     "InitializeExposureDefaults min=0 max=0 int=1\nGetExposure nRet=0 min=0.01 max=0 int=0.01\n"
     "!SetExposure*",
     "!is_Exposure hCam=1 cmd=12"},
    {"MaxExposureMs above the camera's maximum", "MaxExposureMs=50", "", "load; 15 50 -> 1",
     "InitializeExposureDefaults min=0 max=50000 int=1\n"
     "GetExposure max override ed.dMax=50000 dblRange[1]=1000\n"
     "GetExposure nRet=0 min=0.01 max=1000 int=0.01\n"
     "SetExposure: Setting Exposure value=50 time=500.005",
     "is_Exposure hCam=1 cmd=12 size=8 value=500.005"},
    {"MaxExposureMs equal to the camera's maximum: no override", "MaxExposureMs=1", "", "load",
     "InitializeExposureDefaults min=0 max=1000 int=1\n!GetExposure max override*\n"
     "GetExposure nRet=0 min=0.01 max=1000 int=0.01",
     ""},
    {"MaxExposureMs negative", "MaxExposureMs=-1", "", "load; 15 50 -> 1",
     "InitializeExposureDefaults min=0 max=-1000 int=1\n!GetExposure max override*\n"
     "SetExposure: Setting Exposure value=50 time=-499.995",
     ""},
    {"MaxExposureMs that is no number: 0", "MaxExposureMs=long", "", "load; 15 50 -> 1",
     "InitializeExposureDefaults min=0 max=0 int=1\n!SetExposure*", ""},
    {"MaxExposureMs whose thousandfold wraps in 32 bits", "MaxExposureMs=4294968", "",
     "load; 15 100 -> 1",
     "InitializeExposureDefaults min=0 max=704 int=1\n"
     "SetExposure: Setting Exposure value=100 time=704",
     ""},
};

TEST_F(Load, SettingsForms) {
    RunAll(kSettings);
}

} // namespace
