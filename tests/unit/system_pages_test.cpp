// sys_page_out: the pages of constant program data leave the resident memory and read back
// unchanged; heap blocks and written program data are left alone (dropping them would lose data).
// Residency is read from /proc/self/pagemap on Linux and from the working set on Windows.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdio>
#include <vector>

#include "assets/assets.h"
#include "runtime/platform/system/system.h"
#include "support/platform.h"

namespace {

uint64_t checksum(const unsigned char* data, size_t size) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < size; i++) h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

#if defined(_WIN32)
// Whether the page holding `address` is in the process's working set now.
bool resident(const void* address) {
    PSAPI_WORKING_SET_EX_INFORMATION info = {};
    info.VirtualAddress = const_cast<void*>(address);
    if (!QueryWorkingSetEx(GetCurrentProcess(), &info, sizeof info)) return true;
    return info.VirtualAttributes.Valid;
}

// Whether the system takes pages out of a working set at all: emptying the whole working set
// must drop the page (Wine, for one, keeps every page).
bool system_trims(const void* address) {
    SetProcessWorkingSetSize(GetCurrentProcess(), SIZE_T(-1), SIZE_T(-1));
    return !resident(address);
}
#else
bool system_trims(const void*) { return true; }
// Whether the page holding `address` is mapped in the process now (/proc/self/pagemap bit 63).
bool resident(const void* address) {
    long page = sysconf(_SC_PAGESIZE);
    FILE* map = std::fopen("/proc/self/pagemap", "rb");
    if (!map) return true;
    uint64_t entry = 0;
    bool ok = std::fseek(map, long(reinterpret_cast<uintptr_t>(address) / uintptr_t(page) * 8), SEEK_SET) == 0 &&
              std::fread(&entry, 8, 1, map) == 1;
    std::fclose(map);
    return ok && (entry >> 63 & 1);
}
#endif

// Program data, in a writable section of the program file.
unsigned char program_data[1 << 18] = {1};

}  // namespace

TEST(SystemPageOut, ConstantProgramDataLeavesMemoryAndReadsBackUnchanged) {
    if (test_platform::kInThePage) GTEST_SKIP() << "the page's memory has no pages of a file to drop";
    const unsigned char* music = asset_title_music;
    size_t size = asset_title_music_size;
    uint64_t before = checksum(music, size);  // every page read: resident now
    const unsigned char* middle = music + size / 2;
    ASSERT_TRUE(resident(middle));

    sys_page_out(music, size);
    bool out = !resident(middle);
    EXPECT_EQ(checksum(music, size), before);
    EXPECT_TRUE(resident(middle));
    if (!out && !system_trims(middle))
        GTEST_SKIP() << "this system keeps every page in the working set (Wine does): nothing to page out";
    EXPECT_TRUE(out);
}

TEST(SystemPageOut, WrittenMemoryKeepsItsContents) {
    std::vector<unsigned char> heap(1 << 20, 0xAB);
    sys_page_out(heap.data(), heap.size());
    EXPECT_EQ(heap[heap.size() / 2], 0xAB);
    EXPECT_EQ(heap.front(), 0xAB);

    for (unsigned char& c : program_data) c = 0x5A;  // private copies of the file's pages now
    sys_page_out(program_data, sizeof program_data);
    EXPECT_EQ(program_data[sizeof program_data / 2], 0x5A);
    EXPECT_EQ(program_data[sizeof program_data - 1], 0x5A);

    sys_page_out(nullptr, 4096);  // nothing to do
    sys_page_out(program_data, 0);
}
