// Parameter files of the camera library: their names, the existence probe and the load call.
#pragma once

#include "my_cam.h"

#include <cstdint>
#include <string>

extern bool gCamShareConfig;     // a multi-configuration share is active
extern uint32_t gCurCamConfigId; // its id; all bits set while none was chosen

// gConfigDir + "ueyecam_" + id as signed decimal + ".ini"
std::wstring ConfigFilePath(uint32_t configId);
// gConfigDir + "ueyecam_" + serial + ".ini"
std::wstring SerialFilePath(const wchar_t* serial);
// gConfigDir + gCamFileName
std::wstring DefaultFilePath();
// The file search for the exact path finds something that is not a folder.
bool ProbeFile(const std::wstring& path);
// Has the library load the file into the camera; true when it did.
bool LoadParameterFile(MyCam& cam, const std::wstring& path);
// "LoadFile Param File loaded: " or "... NOT loaded: " with the path.
void LogLoadResult(bool loaded, const std::wstring& path);
// CamShareLast = gCurCamConfigId in the host settings.
void RememberConfigId();

// Loads the configuration, serial or default file, the first that the library takes.
void LoadFile(MyCam& cam, bool openedWithoutSerial, const wchar_t* serial);
