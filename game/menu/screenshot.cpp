// Screenshots: the back buffer grabbed into a temporary sprite in the frame that sees the key, its
// pixels copied, and the copy handed to a writer thread that compresses it and writes
// "Files\Screenshots\Screenshot_<n>.png" (n counting from 1 in each run) off the frame loop, so
// the menu keeps presenting frames while a picture is compressed. At most two screenshots are in
// flight; a third waits for the oldest. The game thread waits for all of them before a restart
// starts the new instance and at shutdown. Without a writer thread the file is written at once.
// Relies on: sprites (grab, 24-bit copy, free), the PNG encoder's staged writer (libpng, zlib and
// the file layer only: safe off the game thread), the string builder for the name (game thread),
// game_state.h, std::thread (below the frame loop's priority, through the system layer).
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "game/menu/menu.h"
#include "game/startup/game_state.h"
#include "runtime/foundation/strings.h"
#include "runtime/media/image/image.h"
#include "runtime/media/sprite.h"
#include "runtime/platform/system/file.h"
#include "runtime/platform/system/system.h"

namespace {
constexpr int kMaxInFlight = 2;
constexpr size_t kNameCapacity = 64;  // "Files\Screenshots\Screenshot_" + 10 digits + ".png" fits

struct ShotJob {
    SpritePixels24 pixels;
    char16_t name[kNameCapacity];
};

int write_job(const ShotJob& job) {
    return image_png_write_staged(job.name, job.pixels.pixels.get(), job.pixels.width, job.pixels.height,
                                  job.pixels.row, IMAGE_BOTTOM_UP);
}

// One worker thread and a ring of kMaxInFlight jobs. A job stays in its slot while it is written,
// so `count` is the number in flight; the worker takes them oldest first.
class ShotWriter {
public:
    ~ShotWriter() { stop(); }

    // Queues the job, first waiting for the oldest while kMaxInFlight are in flight. False when no
    // worker could be started (the job is left to the caller).
    bool submit(ShotJob& job) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!thread_.joinable() && !start()) return false;
        if (count_ == kMaxInFlight) {
            notify_wait(lock);
            changed_.wait(lock, [this] { return count_ < kMaxInFlight; });
        }
        ShotJob& slot = jobs_[(first_ + count_) % kMaxInFlight];
        slot.pixels = std::move(job.pixels);
        std::memcpy(slot.name, job.name, sizeof slot.name);
        count_++;
        changed_.notify_all();
        return true;
    }

    void wait_all() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (count_ == 0) return;
        notify_wait(lock);
        changed_.wait(lock, [this] { return count_ == 0; });
    }

    void stop() {
        wait_all();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!thread_.joinable()) return;
            stopping_ = true;
            changed_.notify_all();
        }
        thread_.join();
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
    }

    int in_flight() {
        std::lock_guard<std::mutex> lock(mutex_);
        return count_;
    }

    void control(const ScreenshotWriterControl& c) {
        std::lock_guard<std::mutex> lock(mutex_);
        control_ = c;
        changed_.notify_all();
    }

    void hold(bool held) {
        std::lock_guard<std::mutex> lock(mutex_);
        control_.hold = held;
        changed_.notify_all();
    }

private:
    bool start() {
        try {
            thread_ = std::thread([this] { run(); });
            return true;
        } catch (const std::system_error&) {
            return false;
        }
    }

    // Tells the test controls that the game thread is about to wait (called with the lock held,
    // released around the call so that the callback may release a held writer).
    void notify_wait(std::unique_lock<std::mutex>& lock) {
        if (!control_.on_wait) return;
        auto on_wait = control_.on_wait;
        int n = count_;
        lock.unlock();
        on_wait(n);
        lock.lock();
    }

    void run() {
        sys_lower_thread_priority();  // the frame loop comes first when the processor is busy
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stopping_ || (count_ > 0 && !control_.hold); });
            if (count_ == 0) return;  // stopping with nothing in flight
            ShotJob& job = jobs_[first_];
            lock.unlock();
            write_job(job);  // a failure leaves no file; nothing is reported, as before
            job.pixels = SpritePixels24{};
            // The picture's copy and the encoder's buffers go back to the system: the resident
            // memory stays where it was before the screenshot.
            sys_release_free_memory();
            lock.lock();
            first_ = (first_ + 1) % kMaxInFlight;
            count_--;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    ShotJob jobs_[kMaxInFlight] = {};
    int first_ = 0, count_ = 0;
    bool stopping_ = false;
    ScreenshotWriterControl control_;
    std::thread thread_;
};

ShotWriter& writer() {
    static ShotWriter w;
    return w;
}
}  // namespace

void game_screenshot() {
    image_register_png_encoder();
    game.screenshot_counter++;
    sprite_grab(SPRITE_SCREENSHOT, 0, 0, game.screen_width, game.screen_height);
    ShotJob job;
    job.pixels = sprite_copy24(SPRITE_SCREENSHOT);
    sprite_free(SPRITE_SCREENSHOT);
    if (!job.pixels.pixels) return;

    int32_t start = str_builder.length;
    str_push(u"Files\\Screenshots\\Screenshot_");
    str_push_int(game.screenshot_counter, str_builder.length);
    str_push(u".png");
    char16_t* name = nullptr;
    str_assign_temp(&name, start);
    size_t length = name ? std::char_traits<char16_t>::length(name) : 0;
    if (length > 0 && length < kNameCapacity) std::memcpy(job.name, name, (length + 1) * sizeof(char16_t));
    str_free(name);
    if (length == 0 || length >= kNameCapacity) return;

    if (!writer().submit(job)) write_job(job);
}

void screenshot_wait_all() { writer().wait_all(); }
void screenshot_remove_stale() { file_remove_stale_temporaries(u"Files\\Screenshots", u"Screenshot_"); }
void screenshot_shutdown() { writer().stop(); }
int screenshot_in_flight() { return writer().in_flight(); }
void screenshot_writer_control(const ScreenshotWriterControl& control) { writer().control(control); }
void screenshot_writer_hold(bool held) { writer().hold(held); }
