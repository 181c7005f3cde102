// The screenshot writer on a worker thread (the desktop programs): one thread below the frame
// loop's priority and a ring of kShotsInFlight jobs; the frame loop goes on while a picture is
// compressed. A third screenshot waits for the oldest; a restart and the end of the program wait
// for all. Without a worker thread (one could not start) a job is written at once.
// Relies on: screenshot_writer.h, the PNG encoder's staged writer (libpng, zlib and the file layer
// only: safe off the game thread), std::thread (below the frame loop's priority, through the
// system layer).
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "game/menu/menu.h"
#include "game/menu/screenshot_writer.h"
#include "runtime/media/image/image.h"
#include "runtime/platform/system/system.h"

namespace {
int write_job(const ShotJob& job) {
    return image_png_write_staged(job.name, job.pixels.pixels.get(), job.pixels.width, job.pixels.height,
                                  job.pixels.row, IMAGE_BOTTOM_UP);
}

// One worker thread and a ring of kShotsInFlight jobs. A job stays in its slot while it is written,
// so `count` is the number in flight; the worker takes them oldest first.
class ShotWriter {
public:
    ~ShotWriter() { stop(); }

    // Queues the job, first waiting for the oldest while kShotsInFlight are in flight. False when no
    // worker could be started (the job is left to the caller).
    bool submit(ShotJob& job) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!thread_.joinable() && !start()) return false;
        if (count_ == kShotsInFlight) {
            notify_wait(lock);
            changed_.wait(lock, [this] { return count_ < kShotsInFlight; });
        }
        ShotJob& slot = jobs_[(first_ + count_) % kShotsInFlight];
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
            first_ = (first_ + 1) % kShotsInFlight;
            count_--;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    ShotJob jobs_[kShotsInFlight] = {};
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

void screenshot_writer_submit(ShotJob& job) {
    if (!writer().submit(job)) write_job(job);
}

void screenshot_advance() {}  // the worker thread does the work
void screenshot_wait_all() { writer().wait_all(); }
void screenshot_shutdown() { writer().stop(); }
int screenshot_in_flight() { return writer().in_flight(); }
void screenshot_writer_control(const ScreenshotWriterControl& control) { writer().control(control); }
void screenshot_writer_hold(bool held) { writer().hold(held); }
