// The language and layout tables of the menu: the interface texts in German or English, and the
// rectangles and option captions of every button for the four supported screen sizes.
// Relies on: game_state.h (the slots and rectangles it fills), strings.h.
#pragma once

// Fills the text slots for the language in force ("German" or "English", exactly; any other
// leaves them empty) and, for 800x600, 1024x768, 1280x720 or 1280x1024, every rectangle and the
// option captions (any other size leaves them zero and empty).
void game_build_tables();
