// Web input driver: the page queues its key and mouse events as they come (web_page.js), so that
// no press shorter than a frame is lost, and this driver takes them in order. Keys arrive already
// as DirectInput scan codes (the page maps KeyboardEvent.code), motion as the events' movementX/Y
// (relative, whether or not the pointer is locked), wheel notches as 120 a notch. The page has the
// focus while it is visible; the pointer is locked by the page on the player's click, so a capture
// asked by the program always succeeds.
// Relies on: emscripten (EM_JS), the page's script (web_page.js), input_driver.h.
#include <emscripten.h>

#include <cstddef>

#include "runtime/platform/input/input_driver.h"

// The page writes events as the record lays them out.
static_assert(sizeof(InputEvent) == 16 && offsetof(InputEvent, code) == 1 && offsetof(InputEvent, dx) == 4 &&
                  offsetof(InputEvent, dy) == 8 && offsetof(InputEvent, time_ms) == 12,
              "the page's event layout");

EM_JS(void, web_input_listen, (int on), { Module.tarnwoodInput.listen(on); });
EM_JS(int, web_input_take, (InputEvent* out, int capacity), { return Module.tarnwoodInput.take(out, capacity); });
EM_JS(int, web_page_visible, (), { return document.hidden ? 0 : 1; });

namespace {
int open() {
    web_input_listen(1);
    return 1;
}

void close() { web_input_listen(0); }

int read_events(InputEvent* out, int capacity) { return out && capacity > 0 ? web_input_take(out, capacity) : 0; }

int has_focus() { return web_page_visible(); }

int set_capture(int) { return 1; }
}  // namespace

extern const InputDriver web_input_driver;
const InputDriver web_input_driver = {open, close, read_events, has_focus, set_capture};
