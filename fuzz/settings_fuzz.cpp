// Fuzz target of the settings loader as the program uses it: arbitrary bytes are the settings
// file Files/Tarnwood.cfg of a working folder, game_load_settings reads them, the menu's writes
// follow (new screen size, refresh rate, page, language, information lines, music, chosen by the
// input's tail from the values the menu offers), and a second game_load_settings must read back
// exactly what was written and what the first load read for every other key. The second load
// must find nothing to rewrite, so it leaves the file's bytes alone.
// Relies on: game/settings, game_state.h, prefs.h, heap.h, strings.h; a working folder of its own
// (tmpfs when there is one: every write-back syncs), entered once for the whole run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "game/settings/settings.h"
#include "game/startup/game_state.h"
#include "runtime/foundation/heap.h"
#include "runtime/foundation/prefs.h"
#include "runtime/foundation/strings.h"
#include "tests/support/platform.h"

namespace {
// The loaded settings as plain values, for comparing two loads.
struct Loaded {
    int32_t width, height, depth, vsync, refresh, log, menu_info, music, screenshot_code;
    std::u16string page, language, keys[8];
    bool operator==(const Loaded& o) const {
        for (int i = 0; i < 8; i++)
            if (keys[i] != o.keys[i]) return false;
        return width == o.width && height == o.height && depth == o.depth && vsync == o.vsync &&
               refresh == o.refresh && log == o.log && menu_info == o.menu_info && music == o.music &&
               screenshot_code == o.screenshot_code && page == o.page && language == o.language;
    }
};

std::u16string text(const char16_t* s) { return s ? s : u""; }

Loaded loaded() {
    Loaded l{game.screen_width, game.screen_height, game.screen_depth, game.screen_vsync, game.screen_refresh,
             game.log_config,   game.menu_info,     game.music_on,     game.screenshot_key_code,
             text(game.menu_page), text(game.language), {}};
    char16_t* keys[8] = {game.key_forward, game.key_backward, game.key_left, game.key_right,
                         game.key_jump,    game.key_journal,  game.key_map,  game.key_screenshot};
    for (int i = 0; i < 8; i++) l.keys[i] = text(keys[i]);
    return l;
}

// The values the menu writes, in the menu's own tables.
struct Size {
    int32_t w, h;
};
const Size kSizes[] = {{800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}};
const int32_t kRefresh[] = {60, 75, 85};
const char16_t* const kPages[] = {u"Main", u"GameLang", u"GraphicRes", u"GraphicHz"};
const char16_t* const kLanguages[] = {u"German", u"English"};

std::string read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The working folder with its Files/ folder, made and entered on the first input.
void enter_folder() {
    static bool entered = false;
    if (entered) return;
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                          : std::filesystem::temp_directory_path();
    std::string folder = test_platform::new_folder("settings-fuzz-", base);
    if (folder.empty()) std::abort();
    std::error_code error;
    std::filesystem::current_path(test_platform::path(folder), error);
    if (error) std::abort();
    std::filesystem::create_directory("Files");
    entered = true;
}

void load() {
    game.screen_width = 1024;
    game.screen_height = 768;
    game.screen_depth = 32;
    game.screen_vsync = 1;
    game.screen_refresh = 75;
    game_load_settings();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    enter_folder();
    runtime_heap = heap_create(4096, true);
    str_init();
    prefs_init();
    str_assign(&game.program_folder, u"/opt/tarnwood/");
    str_assign(&game.version, u"0.0.0.6");
    {
        FILE* f = std::fopen("Files/Tarnwood.cfg", "wb");
        if (!f) std::abort();
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }

    load();
    Loaded first = loaded();

    // The menu's writes: what a restart writes, then the music switch, as separate openings.
    uint8_t pick = size ? data[size - 1] : 0;
    const Size& chosen = kSizes[pick % 4];
    int32_t refresh = kRefresh[(pick >> 2) % 3];
    const char16_t* page = kPages[(pick >> 4) % 4];
    const char16_t* language = kLanguages[(pick >> 6) & 1];
    int32_t menu_info = (pick >> 7) & 1, music = (pick >> 3) & 1;
    // A file the store refuses (too large, UTF-16) is never written: both loads then agree on
    // the defaults, and the file keeps its bytes.
    bool accepted = prefs_open(SETTINGS_FILE) != 0;
    if (accepted) {
        prefs_select_group(u"Screen");
        prefs_write_int(u"ScreenW", chosen.w);
        prefs_write_int(u"ScreenH", chosen.h);
        prefs_write_int(u"ScreenHz", refresh);
        prefs_select_group(u"Settings");
        prefs_write_string(u"MenuPage", page);
        prefs_select_group(u"OptionsGame");
        prefs_write_string(u"Language", language);
        prefs_write_int(u"MenuInfo", menu_info);
        prefs_close();
    }
    if (prefs_open(SETTINGS_FILE)) {
        prefs_select_group(u"OptionsSound");
        prefs_write_int(u"Music", music);
        prefs_close();
    }

    Loaded expected = first;
    if (accepted) {
        expected.width = chosen.w;
        expected.height = chosen.h;
        expected.refresh = refresh;
        expected.page = page;
        expected.language = language;
        expected.menu_info = menu_info;
        expected.music = music;
    }

    std::string written = read_file("Files/Tarnwood.cfg");
    if (!accepted && written != std::string(reinterpret_cast<const char*>(data), size)) {
        std::fprintf(stderr, "a refused file was changed\n");
        std::abort();
    }
    load();
    Loaded second = loaded();
    if (!(second == expected)) {
        std::fprintf(stderr, "the second load does not read back what was written\n");
        std::abort();
    }
    if (read_file("Files/Tarnwood.cfg") != written) {
        std::fprintf(stderr, "the second load rewrote the file\n");
        std::abort();
    }

    char16_t** strings[] = {&game.program_folder, &game.version,     &game.menu_page,    &game.language,
                            &game.key_forward,    &game.key_backward, &game.key_left,     &game.key_right,
                            &game.key_jump,       &game.key_journal, &game.key_map,      &game.key_screenshot};
    for (char16_t** s : strings) str_free(*s);
    game = GameState{};
    prefs_shutdown();
    str_release();
    heap_destroy(runtime_heap);
    runtime_heap = nullptr;
    return 0;
}
