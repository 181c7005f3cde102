// Start-up and shutdown orders of the program. Relies on: the foundation (heap, strings, paths,
// process, requester) and, as they exist, the media libraries' initialisations and releases.
#include "game/startup/game_main.h"

#include <cstdlib>
#include <cstring>

#include "game/settings/settings.h"
#include "game/startup/game_state.h"
#include "game/tables/tables.h"
#include "runtime/foundation/heap.h"
#include "runtime/foundation/paths.h"
#include "runtime/foundation/prefs.h"
#include "runtime/foundation/strings.h"
#include "runtime/media/image/image.h"
#include "runtime/media/keyboard.h"
#include "runtime/media/mouse.h"
#include "runtime/media/sound.h"

GameState game;

void game_init_state() {
    int32_t start = str_builder.length;
    path_program_file(start);
    path_folder_of(reinterpret_cast<char16_t*>(reinterpret_cast<char*>(str_builder.buffer) + start), start);
    str_assign_temp(&game.program_folder, start);

    str_assign(&game.product_name, u"Tarnwood");
    str_assign(&game.version, u"0.0.0.6");
    start = str_builder.length;
    str_push(u"Version: ");
    str_push(game.version);
    str_assign_temp(&game.version_line, start);

    game.screen_width = 1024;
    game.screen_height = 768;
    game.screen_depth = 32;
    game.screen_vsync = 1;
    game.screen_refresh = 75;

    str_assign(&game.menu_page, u"Main");
    game.log_config = 0;
    char16_t** key_names[] = {&game.key_forward, &game.key_backward, &game.key_left, &game.key_right,
                              &game.key_jump,    &game.key_journal,  &game.key_map,  &game.key_screenshot};
    for (char16_t** name : key_names) str_assign(name, u"");
    game.screenshot_key_code = 0;

    str_assign(&game.language, u"German");
    game.menu_info = 0;
    game.music_on = 1;

    game.new_screen_width = 0;
    game.new_screen_height = 0;
    game.new_screen_refresh = 0;
    str_assign(&game.new_language, u"German");
    str_assign(&game.new_menu_page, u"Main");
}

void game_error_message(const char16_t* text) {
    if (!text || !*text) return;
    requester_message(game.product_name, text);
}

namespace {
// The devices in their order of initialisation, each with the message that tells the player when
// it cannot be used; start-up goes on without it.
struct DeviceStep {
    int (*init)();
    const char16_t* message;
};
const DeviceStep kDeviceSteps[] = {
    {mouse_init, u"Mouse konnte nicht initialisiert werden"},
    {key_init, u"Keyboard konnte nicht initialisiert werden"},
    {sound_init, u"Sound konnte nicht initialisiert werden"},
};
}  // namespace

void game_init_devices() {
    for (const DeviceStep& step : kDeviceSteps)
        if (!step.init()) game_error_message(step.message);
    image_register_png_decoder();
}

void game_shutdown() {
    sound_shutdown();
    prefs_shutdown();
    mouse_release();
    key_release();
    image_free_all();
    image_shutdown_blending();
}

int game_run() {
    std::memset(&game, 0, sizeof game);
    game.module_instance = 1;  // the program's own module: there is only the one
    game.runtime_heap = heap_create(4096, true);
    runtime_heap = game.runtime_heap;

    str_init();
    image_init_decoders();
    image_init_blending();
    image_init();
    image_register_bmp_decoder();
    prefs_init();
    process_init();
    requester_init();
    game_init_state();
    game_init_devices();
    game_load_settings();
    game_build_tables();

    game_shutdown();

    // The string heap goes with the object heap: a later start-up in this process starts clean.
    str_release();
    heap_destroy(game.runtime_heap);
    runtime_heap = nullptr;
    std::memset(&game, 0, sizeof game);
    return 0;
}

void game_main() { std::exit(game_run()); }
