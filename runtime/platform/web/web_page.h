// What the browser page offers the program beyond the drivers: its end. Relies on: nothing.
#pragma once

extern const struct PlatformBackend web_backend;

// Called when the program has ended with its exit code: waits until the page's files are in the
// browser's store, then reloads the page when the program asked for its own start (a restart), or
// else shows that Tarnwood has ended, with a way to start it again.
void web_page_end(int exit_code);
