// The record that the soak's preload library keeps per process in a shared file: presents so far,
// the time of the last and the longest gap between two (CLOCK_MONOTONIC, ns), and how often the
// program has read its key and mouse events (a frame reads them at least once, also a frame that
// presents nothing because the picture did not change).
#pragma once
#include <cstdint>

struct PresentRecord {
    uint64_t count;
    uint64_t last_ns;
    uint64_t longest_gap_ns;
    uint64_t input_reads;
};
