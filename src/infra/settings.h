// Location of the host settings file and the INI reads and writes the plug-in makes.
#pragma once

#include <string>

// Full path under which the settings file `name` lives; empty when that path does not fit
// 260 characters (logged once per start).
std::wstring GetSettingsPath(std::wstring name);

// GetSettingsPath("Settings\Tarvello.ini") into a buffer of 512 wide characters; composed
// without allocating, so that a settings read cannot run out of memory.
void GetSettingsFile(wchar_t* destination);
// The same without logging a path that does not fit: for the recorder, whose reads must not
// move the plug-in's own log lines.
void GetSettingsFileQuietly(wchar_t* destination);

// A start logs again each kind of settings path that does not fit.
void ResetSettingsNotes();

// Host-settings keys, read anew from section gSection of the host settings file at every call.
int ReadSettingsInt(const wchar_t* key, int defaultValue);
// Reads a text value into dst (capacity in characters, terminator included).
void ReadSettingsString(const wchar_t* key, const wchar_t* defaultValue, wchar_t* dst,
                        unsigned capacity);
void WriteSettingsString(const wchar_t* key, const wchar_t* value);
