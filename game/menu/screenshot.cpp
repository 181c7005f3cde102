// Screenshots: the back buffer grabbed into a temporary sprite and saved as
// "Files\Screenshots\Screenshot_<n>.png", n counting from 1 in each run.
// Relies on: sprites, the image encoders, the string builder, game_state.h.
#include "game/menu/menu.h"
#include "game/startup/game_state.h"
#include "runtime/foundation/strings.h"
#include "runtime/media/image/image.h"
#include "runtime/media/sprite.h"

void game_screenshot() {
    image_register_png_encoder();
    game.screenshot_counter++;
    sprite_grab(SPRITE_SCREENSHOT, 0, 0, game.screen_width, game.screen_height);

    int32_t start = str_builder.length;
    str_push(u"Files\\Screenshots\\Screenshot_");
    str_push_int(game.screenshot_counter, str_builder.length);
    str_push(u".png");
    // A variable of its own: the encoder may use the builder while the name is in use.
    char16_t* name = nullptr;
    str_assign_temp(&name, start);
    sprite_save(SPRITE_SCREENSHOT, name, IMAGE_ENCODER_PNG);
    str_free(name);

    sprite_free(SPRITE_SCREENSHOT);
}
