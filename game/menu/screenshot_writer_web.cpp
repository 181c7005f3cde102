// The screenshot writer of the page, which has one thread: the picture is compressed a slice of
// rows after each frame (screenshot_advance, about kSliceMs of work), so the menu goes on at the
// browser's frame rate instead of standing still while a whole picture is compressed. Up to
// kShotsInFlight jobs, oldest first; a third screenshot, a restart and the end of the program
// finish the ones in flight at once. The file's bytes are those of the writer thread's encode.
// Relies on: screenshot_writer.h, the PNG encoder's sliced staged writer, the system layer's
// tick count.
#include <cstring>
#include <utility>

#include "game/menu/menu.h"
#include "game/menu/screenshot_writer.h"
#include "runtime/media/image/image.h"
#include "runtime/platform/system/system.h"

namespace {
constexpr uint32_t kSliceMs = 8;  // of a 16.7 ms frame; the menu's own drawing takes a few

struct Shot {
    ShotJob job;
    ImagePngStaged* png = nullptr;  // begun at its first slice
};

Shot shots[kShotsInFlight];
int first = 0, count = 0;
ScreenshotWriterControl control;

// Compresses one row of the oldest job; true when that job is over (written or failed), which
// then leaves the ring. A failure leaves no file; nothing is reported, as on the desktop.
bool step_oldest() {
    Shot& shot = shots[first];
    if (!shot.png) {
        shot.png = image_png_staged_begin(shot.job.name, shot.job.pixels.pixels.get(), shot.job.pixels.width,
                                          shot.job.pixels.height, shot.job.pixels.row, IMAGE_BOTTOM_UP);
        if (shot.png && image_png_staged_step(shot.png, 0) > 0) return false;
    } else if (image_png_staged_step(shot.png, 1) > 0) {
        return false;
    }
    image_png_staged_free(shot.png);
    shot.png = nullptr;
    shot.job.pixels = SpritePixels24{};
    sys_release_free_memory();
    first = (first + 1) % kShotsInFlight;
    count--;
    return true;
}

void notify_wait() {
    if (control.on_wait) control.on_wait(count);
}

void finish_oldest() {
    while (!step_oldest()) {
    }
}
}  // namespace

void screenshot_writer_submit(ShotJob& job) {
    if (count == kShotsInFlight) {
        notify_wait();
        finish_oldest();
    }
    Shot& slot = shots[(first + count) % kShotsInFlight];
    slot.job.pixels = std::move(job.pixels);
    std::memcpy(slot.job.name, job.name, sizeof slot.job.name);
    count++;
}

void screenshot_advance() {
    if (control.hold || count == 0) return;
    uint32_t start = sys_get_tick_count();
    while (count > 0 && sys_get_tick_count() - start < kSliceMs) step_oldest();
}

void screenshot_wait_all() {
    if (count == 0) return;
    notify_wait();
    while (count > 0) finish_oldest();
}

void screenshot_shutdown() { screenshot_wait_all(); }
int screenshot_in_flight() { return count; }
void screenshot_writer_control(const ScreenshotWriterControl& c) { control = c; }
void screenshot_writer_hold(bool held) { control.hold = held; }
