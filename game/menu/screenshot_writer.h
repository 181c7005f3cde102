// The screenshot writer between the frame that takes a screenshot (screenshot.cpp) and the file:
// a job holds the picture's pixels and its file name. Two twins: screenshot_writer_thread.cpp
// compresses on a worker thread; screenshot_writer_web.cpp (the page, which has one thread)
// compresses a slice of rows after each frame. Both keep at most kShotsInFlight jobs; the rest of
// the writer's interface is in menu.h.
// Relies on: sprite.h (the 24-bit copy).
#pragma once

#include "runtime/media/sprite.h"

constexpr int kShotsInFlight = 2;
constexpr size_t kShotNameCapacity = 64;  // "Files\Screenshots\Screenshot_" + 10 digits + ".png" fits

struct ShotJob {
    SpritePixels24 pixels;
    char16_t name[kShotNameCapacity];
};

// Takes the job over (its pixels are moved out), first finishing the oldest while kShotsInFlight
// are in flight; a writer that cannot take it writes it at once.
void screenshot_writer_submit(ShotJob& job);
