// trvhost's live view: a window on the host's main thread that shows the newest frame.
#pragma once

#include <cstdint>
#include <string>

namespace trvhost {

// Opens the window on the calling thread, whose message loop paints it; `title` is asked for
// the window's title twice a second.
bool OpenPreview(std::wstring (*title)());

// Sizes the window for frames of this size (at most 960 pixels wide).
void FitPreview(int32_t width, int32_t height);

// Keeps a copy of a 24-bit frame for the window; any thread, cheap when no window is open.
void ShowInPreview(const unsigned char* pixels, int32_t width, int32_t height);

// True once the user closed the window.
bool PreviewClosed();

} // namespace trvhost
