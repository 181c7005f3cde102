// Start-up and shutdown orders of the program. Relies on: the foundation (heap, strings, paths,
// process, requester), as they exist, the media libraries' initialisations and releases, and the
// menu's screenshot writer, finished first at shutdown.
#include "game/startup/game_main.h"

#include <cstdlib>
#include <cstring>

#include "game/menu/menu.h"
#include "game/settings/settings.h"
#include "game/startup/game_state.h"
#include "game/tables/tables.h"
#include "runtime/foundation/heap.h"
#include "runtime/foundation/paths.h"
#include "runtime/foundation/prefs.h"
#include "runtime/foundation/strings.h"
#include "runtime/media/display.h"
#include "runtime/media/draw.h"
#include "runtime/media/image/image.h"
#include "runtime/media/keyboard.h"
#include "runtime/media/mouse.h"
#include "runtime/media/sound.h"
#include "runtime/media/sprite3d.h"
#include "runtime/platform/system/system.h"

GameState game;

// The menu fonts, loaded under their numbers by game_init_state; the pages select them by number.
struct MenuFont {
    int32_t points;
    int32_t flags;
};
static const MenuFont menu_fonts[] = {{10, 0}, {12, 0}, {12, FONT_BOLD}, {14, 0}, {24, 0}, {28, 0}};
static const char16_t menu_font_face[] = u"Monotype Corsiva";

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

    for (size_t number = 0; number < sizeof menu_fonts / sizeof menu_fonts[0]; number++)
        font_load(intptr_t(number), menu_font_face, menu_fonts[number].points, menu_fonts[number].flags);
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
    {screen_init, u"Sprite konnte nicht initialisiert werden"},
    {sprite3d_init, u"Sprite3D konnte nicht initialisiert werden"},
    {sound_init, u"Sound konnte nicht initialisiert werden"},
};
}  // namespace

void game_init_devices() {
    for (const DeviceStep& step : kDeviceSteps)
        if (!step.init()) game_error_message(step.message);
    image_register_png_decoder();
}

void game_shutdown() {
    screenshot_shutdown();  // every screenshot in flight reaches the disk before the program ends
    sound_shutdown();
    prefs_shutdown();
    mouse_release();
    key_release();
    screen_library_release();
    sprite3d_free_all();
    font_free_all();
    image_free_all();
    image_shutdown_blending();
}

// One game per folder: a second start in the folder the game works in ends here with exit code 0,
// before the settings file or the sound device are touched (the running game comes to the
// front); a restart's new instance waits here until the old one has ended.
bool game_claim_instance() { return sys_claim_instance(u"") != 0; }

int game_run(void (*main_loop)()) {
    if (!game_claim_instance()) return 0;
    std::memset(&game, 0, sizeof game);
    game.module_instance = 1;  // the program's own module: there is only the one
    game.runtime_heap = heap_create(4096, true);
    runtime_heap = game.runtime_heap;

    str_init();
    image_init_decoders();
    image_init_blending();
    image_init();
    draw_init();
    font_init();
    image_register_bmp_decoder();
    prefs_init();
    process_init();
    requester_init();
    game_init_state();
    game_init_devices();
    game_load_settings();
    game_build_tables();
    if (main_loop) main_loop();

    game_shutdown();

    // The string heap goes with the object heap: a later start-up in this process starts clean.
    str_release();
    heap_destroy(game.runtime_heap);
    runtime_heap = nullptr;
    int exit_code = game.exit_code;
    std::memset(&game, 0, sizeof game);
    return exit_code;
}

void game_main() { std::exit(game_run()); }
