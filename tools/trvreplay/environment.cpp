#include "environment.h"

#include "session.h"

#include <windows.h>

Environment::Environment(const std::wstring& folder, const trv::replay::Json& recordedDir)
    : m_folder(folder) {
    m_recordedDir = recordedDir.is_string() ? recordedDir.get<std::string>() : "";
    // File names are appended to the folder as they are: a folder given without its separator
    // makes names that begin with its last part, so the replay's does the same.
    const bool separator =
        !m_recordedDir.empty() && (m_recordedDir.back() == '\\' || m_recordedDir.back() == '/');
    m_replayDir = m_recordedDir.empty() ? L"" : folder + L"\\config" + (separator ? L"\\" : L"");
    m_settingsFile = folder + L"\\settings\\Tarvello\\Settings\\Tarvello.ini";
}

bool Environment::Prepare() {
    for (const wchar_t* sub : {L"", L"\\settings", L"\\settings\\Tarvello",
                               L"\\settings\\Tarvello\\Settings", L"\\config"}) {
        const std::wstring path = m_folder + sub;
        if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    DeleteFileW(m_settingsFile.c_str());
    // A configuration folder given as "" names files relative to the current folder.
    return SetCurrentDirectoryW((m_folder + L"\\config").c_str()) != 0;
}

void Environment::Apply(const trv::replay::EnvWrite& w) {
    if (w.file == "host") {
        WritePrivateProfileStringW(Wide(w.section).c_str(), Wide(w.key).c_str(),
                                   Wide(w.value).c_str(), m_settingsFile.c_str());
    } else if (w.file == "config") {
        const std::wstring ini = (m_replayDir.empty() ? L"" : m_replayDir) + L"tarvello.ini";
        WritePrivateProfileStringW(Wide(w.section).c_str(), Wide(w.key).c_str(),
                                   Wide(w.value).c_str(), ini.c_str());
    } else if (w.file == "probe") {
        std::wstring path = Wide(w.key);
        const std::wstring recorded = Wide(m_recordedDir);
        if (!recorded.empty() && path.compare(0, recorded.size(), recorded) == 0) {
            path = m_replayDir + path.substr(recorded.size());
        } else if (!recorded.empty()) {
            return; // outside the configuration folder: not the replay's to make
        }
        if (w.value == "1") {
            HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                CloseHandle(h);
            }
        } else {
            DeleteFileW(path.c_str());
        }
    }
}
