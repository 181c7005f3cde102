// The platform contract: what each backend (SDL or Win32 for the program, headless for tests) provides
// beneath the Windows stand-ins. One record of drivers per backend; the stand-ins reach the
// backend only through platform_backend(). Each concern has its own driver record, declared
// beside the stand-in that uses it (video: d3d/, input: input/, audio: audio/).
// Relies on: nothing.
#pragma once
#include <cstdint>

struct VideoDriver;
struct InputDriver;
struct AudioDriver;

// Base services of the operating system that differ between a real run and a test run.
struct SystemDriver {
    uint32_t (*tick_count)();  // milliseconds, wrapping
    void (*sleep)(uint32_t ms);
    // A modal box with caption, text and one OK button (UTF-8); returns 1 (OK) when closed.
    int (*message_box)(const char* caption, const char* text);
    // Starts a program by path without waiting, in the given working folder (null: the caller's).
    int (*spawn)(const char* program, const char* working_folder);
    // Runs a file through the shell without waiting, in the given working folder (null: the caller's).
    int (*shell_spawn)(const char* file, const char* working_folder);
    // The system timer's resolution asked for (begin) and given back, in ms; null where the
    // system has no such setting.
    void (*timer_period)(uint32_t ms, bool begin);
    // One game per folder (instance.h): claims the folder (UTF-8, empty: the working folder) for
    // the process's life; 0 when another game holds it. Null where processes run the game again
    // and again without that rule (the tests' headless backend).
    int (*claim_instance)(const char* folder);
    // Waits up to ms for a window message to this thread and returns early when one arrives.
    // Null where the system cannot, or where the frame loop is to keep its refresh beat anyway.
    void (*wait_message)(uint32_t ms);
    // A file was put in place under its final name (native path): makes it, and every change
    // before it, durable in storage the file system does not reach (the browser's store, where
    // the page's files live in memory until synced); 1 when done. Null where the file system is
    // the storage.
    int (*storage_commit)(const char* path);
};

struct PlatformBackend {
    const char* name;
    const SystemDriver* system;
    const VideoDriver* video;
    const InputDriver* input;
    const AudioDriver* audio;
};

extern const PlatformBackend headless_backend;

// The backend in force; the headless one until a program chooses another before start-up.
const PlatformBackend* platform_backend();
void platform_use_backend(const PlatformBackend* backend);
