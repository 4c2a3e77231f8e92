// What the plug-in read from its surroundings during the recorded session, put in place for the
// replay: the host settings file, tarvello.ini of the configuration folder and the files it
// looked for, in a folder of the replay's own (TRV_SETTINGS and the START block point there).
#pragma once

#include "replay/replay_plan.h"

#include <string>

class Environment {
  public:
    // `folder`: the replay's own folder; `recordedDir`: the recording's configuration folder
    // (a string or null).
    Environment(const std::wstring& folder, const trv::replay::Json& recordedDir);

    // The configuration folder the replay's START hands over in place of the recorded one, and
    // the recorded one ("" for none).
    const std::wstring& ReplayDir() const { return m_replayDir; }
    const std::string& RecordedDir() const { return m_recordedDir; }
    // The host settings file (in TRV_SETTINGS's tree).
    const std::wstring& SettingsFile() const { return m_settingsFile; }

    // Makes the folders; false when they cannot be made.
    bool Prepare();
    void Apply(const trv::replay::EnvWrite& w);

  private:
    std::wstring m_folder;
    std::wstring m_replayDir;
    std::string m_recordedDir;
    std::wstring m_settingsFile;
};
