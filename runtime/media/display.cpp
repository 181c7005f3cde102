// The display state and window. Relies on: system.h (the window list).
#include "runtime/media/display.h"

DisplayState display_state = {};

int screen_window_create() {
    if (display_state.window_class_registered || display_state.screen_window) return display_state.window_class_registered;
    display_state.main_window = sys_window_create();
    if (!display_state.main_window) return 0;
    display_state.window_class_registered = 1;
    return 1;
}

int screen_is_active() { return display_state.screen_active; }
