// The preferences store: the one current settings file, read into memory as a list of group
// headers, comments and key-value lines, read and written by group and key (names compared with
// ASCII letter case ignored), and written back on closing when anything was written.
// The file's text is held as UTF-8; the caller's strings are UTF-16. A file over 4 MiB, one that
// begins with a UTF-16 byte-order mark, or anything but a regular file is treated as unreadable:
// prefs_open returns 0 and the store never writes it.
// Relies on: heap.h (runtime_heap for entries and buffers), registry.h (ListNode lists),
// strings.h (conversions, the temporary string builder), platform/system/file.h (all file access).
#pragma once
#include <cstdint>

#include "runtime/foundation/registry.h"

struct PlatformFile;

enum PrefsKind : int32_t { PREFS_GROUP = 1, PREFS_COMMENT = 2, PREFS_KEY = 3 };

struct PrefsEntry {
    int32_t kind;
    char* key;   // key entries only
    char* text;  // group name, comment text or the key's value
};

struct PrefsStore {
    PlatformFile* file;          // null when no file is open or it could not be opened
    char16_t* file_name;         // kept only when the file could not be opened
    int32_t modified;            // set by every successful write
    int32_t read_only;           // opened only for reading, or not loaded whole: never written back
    char* text;                  // the contents as UTF-8, two zero bytes behind text_end
    char* text_end;
    int32_t code_page;           // 65001 or 0: whether the written file begins with a byte-order mark
    ListNode* entries;           // PrefsEntry payloads in file order
    ListNode* last_entry;
    PrefsEntry* current_group;   // null: the top section before the first group header
    char* pending_group;         // a selected group that does not exist yet
};

extern PrefsStore prefs_store;

constexpr int32_t PREFS_CODE_PAGE_UTF8 = 65001;

void prefs_init();
int32_t prefs_open(const char16_t* file_name);
int32_t prefs_select_group(const char16_t* group);
// Writes the value (or the default) into the temporary string builder at position and returns
// the address of that text there.
char16_t* prefs_read_string(const char16_t* key, const char16_t* default_value, int32_t position);
int32_t prefs_read_int(const char16_t* key, int32_t default_value);
void prefs_write_string(const char16_t* key, const char16_t* value);
void prefs_write_int(const char16_t* key, int32_t value);
void prefs_close();
void prefs_shutdown();
