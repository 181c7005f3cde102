// A test fixture that gives each test a fresh object heap, string heap and headless backend,
// the way a start-up does, and drops them afterwards so the sanitizer run sees no leaks.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "runtime/foundation/heap.h"
#include "runtime/foundation/strings.h"
#include "runtime/platform/headless/headless.h"
#include "runtime/platform/headless/headless_video.h"

class RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform_use_backend(&headless_backend);
        headless_system_reset();
        headless_video_reset();
        runtime_heap = heap_create(4096, true);
        str_init();
    }
    void TearDown() override {
        str_release();
        heap_destroy(runtime_heap);
        runtime_heap = nullptr;
    }
    // The builder text from position to its end, as UTF-8.
    static std::string builder_text(int32_t position) {
        std::u16string s(reinterpret_cast<const char16_t*>(reinterpret_cast<const char*>(str_builder.buffer) + position),
                         size_t(str_builder.length - position) / 2);
        return str_to_utf8(s.c_str());
    }
};
