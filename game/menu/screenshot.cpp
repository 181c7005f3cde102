// Screenshots: the back buffer grabbed into a temporary sprite in the frame that sees the key, its
// pixels copied, and the copy handed to the screenshot writer (screenshot_writer.h), which
// compresses it into "Files\Screenshots\Screenshot_<n>.png" (n counting from 1 in each run) while
// the menu keeps presenting frames.
// Relies on: sprites (grab, 24-bit copy, free), the string builder for the name, game_state.h,
// the image library (the PNG encoder's registration) and the file layer (stale temporaries).
#include <cstring>
#include <string>

#include "game/menu/menu.h"
#include "game/menu/screenshot_writer.h"
#include "game/startup/game_state.h"
#include "runtime/foundation/strings.h"
#include "runtime/media/image/image.h"
#include "runtime/media/sprite.h"
#include "runtime/platform/system/file.h"

void game_screenshot() {
    image_register_png_encoder();
    game.screenshot_counter++;
    sprite_grab(SPRITE_SCREENSHOT, 0, 0, game.screen_width, game.screen_height);
    ShotJob job;
    job.pixels = sprite_copy24(SPRITE_SCREENSHOT);
    sprite_free(SPRITE_SCREENSHOT);
    if (!job.pixels.pixels) return;

    int32_t start = str_builder.length;
    str_push(u"Files\\Screenshots\\Screenshot_");
    str_push_int(game.screenshot_counter, str_builder.length);
    str_push(u".png");
    char16_t* name = nullptr;
    str_assign_temp(&name, start);
    size_t length = name ? std::char_traits<char16_t>::length(name) : 0;
    if (length > 0 && length < kShotNameCapacity) std::memcpy(job.name, name, (length + 1) * sizeof(char16_t));
    str_free(name);
    if (length == 0 || length >= kShotNameCapacity) return;

    screenshot_writer_submit(job);
}

void screenshot_remove_stale() { file_remove_stale_temporaries(u"Files\\Screenshots", u"Screenshot_"); }
