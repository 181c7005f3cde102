// The Win32 system driver: the system's millisecond clock and sleep, the timer resolution asked
// for while the screen is open, the message box, and process starts (spawn_win32.cpp). The
// Windows backend's counterpart of sdl_system.cpp.
// Also the wait for a window message of the frame loop while nothing is presented.
// Relies on: winmm (timeGetTime, timeBeginPeriod, timeEndPeriod), user32 (MessageBoxW,
// MsgWaitForMultipleObjects), spawn.h,
// strings.h (UTF-8 to UTF-16).
#include <windows.h>
#include <mmsystem.h>

#include <string>

#include "runtime/foundation/strings.h"
#include "runtime/platform/system/backend.h"
#include "runtime/platform/system/instance.h"
#include "runtime/platform/system/spawn.h"

namespace {
uint32_t tick_count() { return uint32_t(timeGetTime()); }

void sleep_ms(uint32_t ms) { Sleep(DWORD(ms)); }

void timer_period(uint32_t ms, bool begin) {
    if (begin) timeBeginPeriod(UINT(ms));
    else timeEndPeriod(UINT(ms));
}

// Any message, posted, sent or input, ends the wait (an activation is sent).
void wait_message(uint32_t ms) { MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(ms), QS_ALLINPUT); }

std::wstring wide(const char* utf8) {
    std::wstring out;
    if (!utf8) return out;
    std::u16string s = str_from_utf8(utf8, std::char_traits<char>::length(utf8));
    for (char16_t c : s) out += wchar_t(c);
    return out;
}

int message_box(const char* caption, const char* text) {
    std::wstring c = wide(caption), t = wide(text);
    MessageBoxW(nullptr, t.c_str(), c.c_str(), MB_OK);
    return 1;  // IDOK: the box has only the one button
}
}  // namespace

extern const SystemDriver win32_system_driver;
const SystemDriver win32_system_driver = {tick_count, sleep_ms, message_box, spawn_program, spawn_shell, timer_period,
                                             instance_claim_for_process, wait_message, nullptr};
