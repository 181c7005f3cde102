// The system timer's resolution: the backend is asked for 1 ms when the screen opens and given it
// back when the screen library is released, once each, on a backend that has the setting.
#include <utility>
#include <vector>

#include "support/display_fixture.h"

namespace {
std::vector<std::pair<uint32_t, bool>> requests;
void record(uint32_t ms, bool begin) { requests.push_back({ms, begin}); }

class TimerPeriodTest : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        requests.clear();
        driver = *headless_backend.system;
        driver.timer_period = record;
        backend = headless_backend;
        backend.system = &driver;
        platform_use_backend(&backend);
    }
    void TearDown() override {
        DisplayTest::TearDown();
        platform_use_backend(&headless_backend);
    }
    SystemDriver driver;
    PlatformBackend backend;
};

TEST_F(TimerPeriodTest, AskedForWhileTheScreenIsOpen) {
    ASSERT_TRUE(open_screen(320, 240, 32));
    EXPECT_EQ(requests, (std::vector<std::pair<uint32_t, bool>>{{1, true}}));
    screen_library_release();
    EXPECT_EQ(requests, (std::vector<std::pair<uint32_t, bool>>{{1, true}, {1, false}}));
}
}  // namespace
