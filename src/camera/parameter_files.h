// Parameter files of the camera library: their names, the existence probe and the load call.
#pragma once

#include "my_cam.h"

#include <cstdint>

extern bool gCamShareConfig;     // a multi-configuration share is active
extern uint32_t gCurCamConfigId; // its id; all bits set while none was chosen

// Paths are composed in buffers of kNameChars (260) wide characters, without allocating. A
// path that does not fit is not used: false, after the line "LoadFile Param File NOT loaded,
// path longer than 259 characters: " with the whole path.
// gConfigDir + "ueyecam_" + id as signed decimal + ".ini"
bool ConfigFilePath(uint32_t configId, wchar_t* path);
// gConfigDir + "ueyecam_" + serial + ".ini"
bool SerialFilePath(const wchar_t* serial, wchar_t* path);
// gConfigDir + gCamFileName
bool DefaultFilePath(wchar_t* path);
// The file search for the exact path finds something that is not a folder.
bool ProbeFile(const wchar_t* path);
// Has the library load the file into the camera; true when it did.
bool LoadParameterFile(MyCam& cam, const wchar_t* path);
// "LoadFile Param File loaded: " or "... NOT loaded: " with the path.
void LogLoadResult(bool loaded, const wchar_t* path);
// CamShareLast = gCurCamConfigId in the host settings.
void RememberConfigId();

// Loads the configuration, serial or default file, the first that the library takes.
void LoadFile(MyCam& cam, bool openedWithoutSerial, const wchar_t* serial);
