// The recorded camera events, delivered to the plug-in's camera window as a camera library
// posts them. The window's procedure is wrapped so that each event, once taken from the queue,
// is handed on only when its gate opens; an event is posted when the one before it has been
// handled (a frame event found with nothing queued behind it is handed over), or, when the
// recording shows the frame path skipping it for a newer one, as soon as the one before is taken.
#pragma once

#include "environment.h"
#include "session.h"

// Takes over the camera window of the calling thread, which plays recorded thread `th`, and
// posts its first event. Call on the camera thread before its events are due.
void AttachCameraWindow(Session& session, Environment& env, int32_t th);
