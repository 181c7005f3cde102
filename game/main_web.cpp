// Tarnwood in the browser: runs the game on the web backend; when it ends, the page reloads (a
// restart) or shows that Tarnwood has ended.
// Relies on: game_main.h, the web backend (web_page.h).
#include "game/startup/game_main.h"
#include "runtime/platform/system/backend.h"
#include "runtime/platform/web/web_page.h"

int main() {
    platform_use_backend(&web_backend);
    web_page_end(game_run());
    return 0;
}
