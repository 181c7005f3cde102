// Web system driver: the page's clock (performance.now), sleeping by giving the browser back its
// thread for the time asked, the message box as a dialog on the page that the program waits on
// until the player presses OK, and a program start that is the page's own reload: it is marked
// here and done when the program has ended and its files are in the store (web_page_end). A file
// put in place is synced to the browser's store (IDBFS) before the write reports success. There
// is no shell to run files through, and no timer resolution to ask for.
// Relies on: emscripten (emscripten_get_now, emscripten_sleep and EM_ASYNC_JS under ASYNCIFY), the
// page's script (web_page.js), web_page.h.
#include <emscripten.h>

#include <cstdint>

#include "runtime/platform/system/backend.h"
#include "runtime/platform/web/web_page.h"

EM_ASYNC_JS(int, web_show_message_box, (const char* caption, const char* text), {
    return await Module.tarnwoodPage.messageBox(UTF8ToString(caption), UTF8ToString(text));
});

// The program waits while the store takes the files; 1 when it did (or when the page runs without
// a store, which it has told the player once). A new screenshot is also offered as a download.
EM_ASYNC_JS(int, web_storage_sync, (const char* path), {
    return await Module.tarnwoodStorage.commit(UTF8ToString(path));
});

EM_JS(void, web_request_reload, (), { Module.tarnwoodPage.reloadAtEnd = true; });

EM_ASYNC_JS(void, web_end_page, (int exit_code), { await Module.tarnwoodPage.end(exit_code); });

namespace {
uint32_t tick_count() { return uint32_t(uint64_t(emscripten_get_now())); }

void sleep_ms(uint32_t ms) { emscripten_sleep(ms); }

int message_box(const char* caption, const char* text) {
    web_show_message_box(caption ? caption : "", text ? text : "");
    return 1;
}

// The only program the game starts is itself: the page reloads once this instance has ended.
int spawn(const char*, const char*) {
    web_request_reload();
    return 1;
}

int shell_spawn(const char*, const char*) { return 0; }

int storage_commit(const char* path) { return web_storage_sync(path); }
}  // namespace

void web_page_end(int exit_code) { web_end_page(exit_code); }

extern const SystemDriver web_system_driver;
const SystemDriver web_system_driver = {tick_count, sleep_ms, message_box, spawn, shell_spawn, nullptr, nullptr, nullptr,
                                        storage_commit};
