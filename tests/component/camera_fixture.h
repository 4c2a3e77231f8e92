// Camera operations on fresh records against the simulated library: the journal shows the
// calls, the shared log shows the lines. Each TEST runs in a process of its own, so the
// plug-in's process-wide state starts as at load; table rows call Fresh() to start over.
#pragma once

#include "camera/camera_list.h"
#include "camera/my_cam.h"
#include "camera/open_close.h"
#include "camera/parameter_files.h"
#include "host_settings.h"
#include "infra/globals.h"
#include "log_reader.h"
#include "log_text.h"
#include "sim_control.h"
#include "sim_journal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace trvtest {

// Index of the first journal line starting with `prefix`, or -1.
inline long IndexOf(const std::vector<std::string>& lines, const std::string& prefix) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(prefix, 0) == 0) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

class CameraFixture : public testing::Test {
  protected:
    void SetUp() override {
        sim_reset();
        gCamList.clear();
        gMyCams.clear();
        gCurCamIndex = 0;
        gCamShareConfig = false;
        gCurCamConfigId = 0xFFFFFFFFu;
        wcscpy_s(gConfigDir, settings.configDir.c_str());
        wcscpy_s(gCamFileName, L"ueyecam.ini");
        wcscpy_s(gSection, L"video");
        gFocusType = 3;
        log.Drain();
    }
    void TearDown() override {
        for (MyCam& c : gMyCams) {
            CloseCamera(c);
        }
        gMyCams.clear();
        CloseCamera(cam);
        cam = {};
        sim_reset();
    }
    void Fresh() {
        TearDown();
        SetUp();
    }
    // A camera of the given sensor; returns its simulator index.
    int Add(const char* serial, uint32_t device, uint8_t color = 2, uint32_t w = 64,
            uint32_t h = 32) {
        const SimCamera c = sim_camera(serial, device, color, w, h);
        return sim_add_camera(&c);
    }
    void Configure(int index, const char* key, const char* value) {
        ASSERT_EQ(sim_configure(index, key, value), 0) << key << "=" << value;
    }
    // Opens the first free camera as the current record, live, journal and log emptied.
    MyCam& OpenCurrent() {
        gMyCams.push_back({});
        MyCam& c = gMyCams.back();
        c.m_nTriggerMode = 1;
        EXPECT_TRUE(OpenCamera(c, nullptr, L""));
        sim_journal_clear();
        TakeLog();
        return c;
    }
    std::string Query(int index, const char* key) { return SimQuery(index, key); }
    std::string ConfigDir() { return ToUtf8(settings.configDir); }
    std::string TakeLog() { return ToUtf8(log.Drain()); }
    SimStats Stats() {
        SimStats s = {};
        sim_stats(&s);
        return s;
    }
    // Waits until the camera wrote `frames` more frames; true when no transfer failed meanwhile.
    bool FramesFit(int index, uint32_t frames = 2) {
        const uint32_t before = sim_frames_posted(index);
        const uint32_t failures = Stats().transferFailures;
        for (int i = 0; i < 2000 && sim_frames_posted(index) < before + frames; ++i) {
            Sleep(5);
        }
        return sim_frames_posted(index) >= before + frames && Stats().transferFailures == failures;
    }

    HostSettings settings;
    MyCam cam = {};
    LogReader log;
};

} // namespace trvtest
