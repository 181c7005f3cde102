// The preferences store: parsing the settings text into entries, group and key lookup, the
// insertion of new keys, and the byte layout written back on closing. Write-back replaces the
// file through the file layer's safe replacement, so a failed write never leaves a damaged file.
// Relies on: heap.h, registry.h (lists), strings.h, platform/system/file.h.
#include "runtime/foundation/prefs.h"

#include <cstring>
#include <string>

#include "runtime/foundation/heap.h"
#include "runtime/foundation/strings.h"
#include "runtime/platform/system/file.h"

PrefsStore prefs_store;

namespace {
PrefsStore& store = prefs_store;

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_break(char c) { return c == '\r' || c == '\n'; }

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool names_equal(const char* a, const char* b) {
    if (!a) a = "";
    if (!b) b = "";
    while (*a && ascii_lower(*a) == ascii_lower(*b)) {
        a++;
        b++;
    }
    return *a == *b;
}

bool store_is_open() { return store.file || store.file_name; }

// Parsed texts are pieces of the text buffer and are freed with it, never on their own.
bool inside_text(const char* p) { return store.text && p >= store.text && p <= store.text_end + 1; }

void free_piece(char* p) {
    if (p && !inside_text(p)) heap_free(runtime_heap, p);
}

char* copy_text(const std::string& s) {
    auto* p = static_cast<char*>(heap_alloc(runtime_heap, s.size() + 1));
    if (p) std::memcpy(p, s.data(), s.size());
    return p;
}

PrefsEntry* entry_of(ListNode* node) { return node ? static_cast<PrefsEntry*>(obj_list_payload(node)) : nullptr; }

PrefsEntry* append_entry() {
    void* payload = store.last_entry ? obj_list_insert_after(store.last_entry, sizeof(PrefsEntry))
                                     : obj_list_push(&store.entries, sizeof(PrefsEntry));
    if (payload) store.last_entry = obj_list_node_of(payload);
    return static_cast<PrefsEntry*>(payload);
}

PrefsEntry* insert_entry_after(ListNode* node) {
    if (!node) return append_entry();
    void* payload = obj_list_insert_after(node, sizeof(PrefsEntry));
    if (payload && node == store.last_entry) store.last_entry = obj_list_node_of(payload);
    return static_cast<PrefsEntry*>(payload);
}

// One line per entry; zero bytes are written into the text to cut the pieces. A zero byte inside
// a line also ends the piece it falls in, which is how every reader of the pieces sees them.
void parse(char* p, char* end) {
    while (p < end) {
        while (p < end && is_blank(*p)) p++;
        if (p >= end) break;
        if (is_break(*p)) {
            p++;
            continue;
        }
        char* line_end = p;
        while (line_end < end && !is_break(*line_end)) line_end++;

        PrefsEntry entry = {};
        if (*p == ';') {
            char* t = p + 1;
            if (t < line_end && *t == ' ') t++;
            entry.kind = PREFS_COMMENT;
            entry.text = t;
        } else if (*p == '[') {
            char* name = p + 1;
            char* close = name;
            while (close < line_end && *close != ']') close++;
            *close = 0;
            entry.kind = PREFS_GROUP;
            entry.text = name;
        } else {
            // Any line break ends the line: a key without "=" has an empty value, whatever the
            // line break is.
            char* eq = p;
            while (eq < line_end && *eq != '=') eq++;
            char* key_end = p + strnlen(p, size_t(eq - p));
            while (key_end > p && is_blank(key_end[-1])) key_end--;
            char* value = line_end;
            if (eq < line_end) {
                value = eq + 1;
                while (value < line_end && is_blank(*value)) value++;
            }
            *key_end = 0;
            entry.kind = PREFS_KEY;
            entry.key = p;
            entry.text = value;
        }
        *line_end = 0;
        PrefsEntry* stored = append_entry();
        if (!stored) return;  // out of memory: keep what was parsed
        *stored = entry;
        p = line_end + 1;
    }
}

// The first key entry of that name in the current group (or the top section).
PrefsEntry* find_key(const char* key) {
    if (!store_is_open() || store.pending_group) return nullptr;
    ListNode* node = store.current_group ? obj_list_node_of(store.current_group)->next : store.entries;
    for (; node; node = node->next) {
        PrefsEntry* e = entry_of(node);
        if (e->kind == PREFS_GROUP) return nullptr;
        if (e->kind == PREFS_KEY && names_equal(e->key, key)) return e;
    }
    return nullptr;
}

// Where a new key of the current group goes: behind its last entry. In the top section, behind the
// last entry before the first group header, looked for from the second entry on.
ListNode* insertion_point() {
    if (store.current_group) {
        ListNode* node = obj_list_node_of(store.current_group);
        while (node->next && entry_of(node->next)->kind != PREFS_GROUP) node = node->next;
        return node;
    }
    if (!store.entries) return nullptr;
    for (ListNode* node = store.entries->next; node; node = node->next)
        if (entry_of(node)->kind == PREFS_GROUP) return node->prev;
    return store.last_entry;
}

void drop_pending_group() {
    if (store.pending_group) heap_free(runtime_heap, store.pending_group);
    store.pending_group = nullptr;
}

void write_text(const char16_t* key, const std::string& text) {
    if (!store_is_open()) return;
    std::string key_utf8 = str_to_utf8(key);
    if (store.pending_group) {
        PrefsEntry* header = append_entry();
        if (!header) return;
        header->kind = PREFS_GROUP;
        header->text = store.pending_group;  // the header takes over the name's allocation
        store.pending_group = nullptr;
        store.current_group = header;
    }
    PrefsEntry* e = find_key(key_utf8.c_str());
    if (e) {
        if (std::strcmp(e->key, key_utf8.c_str()) != 0) {
            char* spelled = copy_text(key_utf8);
            if (!spelled) return;
            free_piece(e->key);
            e->key = spelled;
        }
        if (text.size() > std::strlen(e->text)) {
            char* grown = copy_text(text);
            if (!grown) return;
            free_piece(e->text);
            e->text = grown;
        } else {
            std::memcpy(e->text, text.c_str(), text.size() + 1);
        }
    } else {
        char* k = copy_text(key_utf8);
        char* v = copy_text(text);
        PrefsEntry* added = (k && v) ? insert_entry_after(insertion_point()) : nullptr;
        if (!added) {
            free_piece(k);
            free_piece(v);
            return;
        }
        added->kind = PREFS_KEY;
        added->key = k;
        added->text = v;
    }
    store.modified = 1;
}

// The file's new bytes: the byte-order mark and an empty line when the text is UTF-8, then one
// CR LF line per entry.
void write_back() {
    size_t size = store.code_page == PREFS_CODE_PAGE_UTF8 ? 5 : 0;
    for (ListNode* node = store.entries; node; node = node->next) {
        PrefsEntry* e = entry_of(node);
        size += std::strlen(e->text) + (e->kind == PREFS_KEY ? 5 + std::strlen(e->key) : 4);
    }
    auto* out = static_cast<char*>(heap_alloc(runtime_heap, size + 1));
    if (!out) return;
    char* p = out;
    auto put = [&p](const char* s, size_t n) {
        std::memcpy(p, s, n);
        p += n;
    };
    if (store.code_page == PREFS_CODE_PAGE_UTF8) put("\xEF\xBB\xBF\r\n", 5);
    for (ListNode* node = store.entries; node; node = node->next) {
        PrefsEntry* e = entry_of(node);
        if (e->kind == PREFS_GROUP) {
            put("[", 1);
            put(e->text, std::strlen(e->text));
            put("]", 1);
        } else if (e->kind == PREFS_COMMENT) {
            put("; ", 2);
            put(e->text, std::strlen(e->text));
        } else {
            put(e->key, std::strlen(e->key));
            put(" = ", 3);
            put(e->text, std::strlen(e->text));
        }
        put("\r\n", 2);
    }
    // Only a folder that takes no temporary file makes us fall back to rewriting in place.
    if (file_replace_contents(store.file, out, size) == FILE_REPLACE_NO_TEMP)
        file_rewrite_in_place(store.file, out, size);
    heap_free(runtime_heap, out);
}

// A settings file is a few kilobytes of text. A larger file, or one that begins with a UTF-16
// byte-order mark, is not one the store can read: it is treated as unreadable, so it is neither
// parsed nor ever written, and stays as it is.
constexpr int64_t kMaxFileSize = int64_t(4) << 20;

bool utf16_mark(const unsigned char* p, int64_t size) {
    return size >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF));
}

// Reads the contents into text; false when the file is refused (see above). A file whose contents
// could not be loaded whole (no memory, a read error) is not written back: its entries are
// unknown, and writing only the new ones would throw the rest of the file away.
bool read_contents() {
    int64_t size = file_size(store.file);
    if (size < 0 || size > kMaxFileSize) return false;
    if (size == 0) return true;
    auto* raw = static_cast<char*>(heap_alloc(runtime_heap, size_t(size) + 2));
    if (!raw) {
        store.read_only = 1;
        return true;
    }
    uint32_t got = 0;
    if (!file_read(store.file, raw, uint32_t(size), &got) || got != uint64_t(size)) store.read_only = 1;
    auto* bytes = reinterpret_cast<unsigned char*>(raw);
    if (utf16_mark(bytes, got)) {
        heap_free(runtime_heap, raw);
        return false;
    }
    if (got >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        std::memmove(raw, raw + 3, got - 3);
        store.code_page = PREFS_CODE_PAGE_UTF8;
        store.text = raw;
        store.text_end = raw + (got - 3);
        return true;
    }
    auto* converted = static_cast<char*>(heap_alloc(runtime_heap, 2 * size_t(got) + 2));
    if (converted) {
        size_t out_size = 2 * size_t(got), in_size = got;
        str_latin1_to_utf8(reinterpret_cast<uint8_t*>(converted), &out_size, bytes, &in_size);
        store.text = converted;
        store.text_end = converted + out_size;
        if (got > 0) store.code_page = PREFS_CODE_PAGE_UTF8;
    } else {
        store.read_only = 1;
    }
    heap_free(runtime_heap, raw);
    return true;
}
}  // namespace

void prefs_init() { std::memset(&store, 0, sizeof store); }

int32_t prefs_open(const char16_t* file_name) {
    prefs_close();
    store.file = file_create(file_name, FILE_ACCESS_READ_WRITE, FILE_OPEN_EXISTING);
    // A write-back killed half-way left its temporary file beside the settings file.
    if (store.file) file_remove_stale_replacements(store.file);
    if (!store.file) {
        store.file = file_create(file_name, FILE_ACCESS_READ, FILE_OPEN_EXISTING);
        store.read_only = store.file ? 1 : 0;
    }
    if (!store.file) {
        size_t units = str_length(file_name);
        store.file_name = static_cast<char16_t*>(heap_alloc(runtime_heap, (units + 1) * sizeof(char16_t)));
        if (store.file_name && units) std::memcpy(store.file_name, file_name, units * sizeof(char16_t));
        store.code_page = PREFS_CODE_PAGE_UTF8;
        return 0;
    }
    if (!read_contents()) {
        // Refused: closed again without keeping the name, so nothing can ever replace it.
        prefs_close();
        return 0;
    }
    if (!store.text) return 1;
    store.text_end[0] = 0;
    store.text_end[1] = 0;
    parse(store.text, store.text_end);
    return 1;
}

int32_t prefs_select_group(const char16_t* group) {
    if (!store_is_open()) {
        drop_pending_group();
        return 0;
    }
    if (!group || !*group) {
        store.current_group = nullptr;
        drop_pending_group();
        return 1;
    }
    std::string name = str_to_utf8(group);
    for (ListNode* node = store.entries; node; node = node->next) {
        PrefsEntry* e = entry_of(node);
        if (e->kind == PREFS_GROUP && names_equal(e->text, name.c_str())) {
            store.current_group = e;
            drop_pending_group();
            return 1;
        }
    }
    char* pending = copy_text(name);
    if (pending) {
        drop_pending_group();
        store.pending_group = pending;
    }
    return 0;
}

char16_t* prefs_read_string(const char16_t* key, const char16_t* default_value, int32_t position) {
    std::string key_utf8 = str_to_utf8(key);
    PrefsEntry* e = find_key(key_utf8.c_str());
    std::u16string result;
    if (e) {
        const char* start = e->text;
        const char* end = start + std::strlen(start);
        while (start < end && is_blank(*start)) start++;
        while (end > start && is_blank(end[-1])) end--;
        result = str_from_utf8(start, size_t(end - start));
    } else if (default_value) {
        result = default_value;  // copied first: the default may lie in the builder
    }
    char16_t* dst = str_reserve(int32_t(result.size()), position);
    if (!dst) return nullptr;
    std::memcpy(dst, result.data(), result.size() * sizeof(char16_t));
    dst[result.size()] = 0;
    return dst;
}

int32_t prefs_read_int(const char16_t* key, int32_t default_value) {
    std::string key_utf8 = str_to_utf8(key);
    PrefsEntry* e = find_key(key_utf8.c_str());
    if (!e) return default_value;
    // A signed decimal number after white space; digits end at the first non-digit. A value with
    // no digits is 0, and a number beyond 32 bits saturates at the nearer limit.
    const char* p = e->text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t magnitude = 0;
    const int64_t limit = negative ? -int64_t(INT32_MIN) : int64_t(INT32_MAX);
    for (; *p >= '0' && *p <= '9'; p++) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit) magnitude = limit;
    }
    return int32_t(negative ? -magnitude : magnitude);
}

void prefs_write_string(const char16_t* key, const char16_t* value) { write_text(key, str_to_utf8(value)); }

void prefs_write_int(const char16_t* key, int32_t value) { write_text(key, std::to_string(value)); }

void prefs_close() {
    if (store.modified && !store.file && store.file_name) {
        store.file = file_create(store.file_name, FILE_ACCESS_READ_WRITE, FILE_OPEN_ALWAYS);
        store.read_only = 0;
    }
    // A file that could only be opened for reading is never written.
    if (store.file && store.modified && !store.read_only) write_back();

    ListNode* node = store.entries;
    while (node) {
        ListNode* next = node->next;
        PrefsEntry* e = entry_of(node);
        free_piece(e->key);
        free_piece(e->text);
        obj_free(node);
        node = next;
    }
    if (store.text) heap_free(runtime_heap, store.text);
    file_close(store.file);
    drop_pending_group();
    if (store.file_name) heap_free(runtime_heap, store.file_name);
    std::memset(&store, 0, sizeof store);
}

void prefs_shutdown() { prefs_close(); }
