// Fuzz target of the preferences store: arbitrary bytes are opened as a settings file, a few keys
// chosen by the input are read and written, and the file written on closing must parse back to
// exactly the entries the store held. Keys and values written here are plain ASCII without line
// breaks, values without leading blanks and keys without blanks, so every written line reads back
// as it was.
// Relies on: prefs.h, heap.h, strings.h; a temporary folder (tmpfs when there is one: every
// write-back syncs), made by tests/support/platform.h.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/foundation/heap.h"
#include "runtime/foundation/prefs.h"
#include "runtime/foundation/strings.h"
#include "tests/support/platform.h"

namespace {
struct Snapshot {
    int32_t kind;
    std::string key, text;
    bool operator==(const Snapshot& o) const { return kind == o.kind && key == o.key && text == o.text; }
};

std::vector<Snapshot> snapshot() {
    std::vector<Snapshot> out;
    for (ListNode* node = prefs_store.entries; node; node = node->next) {
        auto* e = static_cast<PrefsEntry*>(obj_list_payload(node));
        out.push_back({e->kind, e->kind == PREFS_KEY ? e->key : "", e->text});
    }
    return out;
}

// A fresh working folder per input (the store's write-back puts a temporary file beside the
// settings file), removed again before the input is done: the fuzzer may end without running
// exit handlers.
std::string make_folder() {
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "";
    std::string folder = test_platform::new_folder("prefs-fuzz-", base);
    if (folder.empty()) std::abort();
    return folder;
}

// Reads the input's tail as the choices of the operations: names are built from its bytes.
struct Choices {
    const uint8_t* data;
    size_t size, at;
    uint8_t next() { return size ? data[(at++) % size] : uint8_t(at++); }
    std::string name(const char* alphabet, size_t length) {
        std::string s;
        size_t n = next() % length;
        size_t letters = std::char_traits<char>::length(alphabet);
        for (size_t i = 0; i < n; i++) s += alphabet[next() % letters];
        return s;
    }
};

const char* const kGroups[] = {"Screen", "settings", "OptionsKeys", "", "A", "G"};
const char* const kKeys[] = {"ScreenW", "music", "Key", "", "k", "PathMain"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    runtime_heap = heap_create(4096, true);
    str_init();
    prefs_init();
    std::string folder = make_folder();
    std::string path = folder + "/Tarnwood.cfg";
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) std::abort();
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    std::u16string name = str_from_utf8(path);
    // A file the store refuses (too large, UTF-16) leaves the store closed: the writes below go
    // nowhere and the file keeps its bytes.
    bool accepted = prefs_open(name.c_str()) != 0;

    Choices c{data, size, size > 16 ? size - 16 : 0};
    int operations = 1 + c.next() % 8;
    bool wrote = false;
    for (int i = 0; i < operations; i++) {
        uint8_t op = c.next();
        std::string group = op & 0x80 ? c.name("Ab9 _.=;[", 10) : kGroups[c.next() % 6];
        std::string key = op & 0x40 ? c.name("Kk0_.-;[", 8) : kKeys[c.next() % 6];
        if (!key.empty() && (key[0] == ';' || key[0] == '[')) key[0] = 'k';
        std::u16string g = str_from_utf8(group), k = str_from_utf8(key);
        prefs_select_group(g.c_str());
        switch (op % 4) {
            case 0: {
                int32_t position = str_builder.length;
                prefs_read_string(k.c_str(), u"default", position);
                str_builder.length = position;
                break;
            }
            case 1:
                prefs_read_int(k.c_str(), 7);
                break;
            case 2: {
                std::string value = c.name("v =;[]\t1", 20);
                if (!value.empty() && (value[0] == ' ' || value[0] == '\t')) value[0] = 'v';
                prefs_write_string(k.c_str(), str_from_utf8(value).c_str());
                wrote = true;
                break;
            }
            default:
                prefs_write_int(k.c_str(), int32_t(uint32_t(c.next()) * 0x01010101u) - 1000);
                wrote = true;
                break;
        }
    }
    if (!wrote) prefs_write_int(u"Last", 1);

    std::vector<Snapshot> before = snapshot();
    prefs_close();
    if (accepted) {
        if (!prefs_open(name.c_str())) std::abort();
        std::vector<Snapshot> after = snapshot();
        if (!(before == after)) {
            std::fprintf(stderr, "written file parses to %zu entries, the store held %zu\n", after.size(), before.size());
            std::abort();
        }
        prefs_close();
    } else {
        std::ifstream in(path, std::ios::binary);
        std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!before.empty() || kept != std::string(reinterpret_cast<const char*>(data), size)) {
            std::fprintf(stderr, "a refused file was written\n");
            std::abort();
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);

    str_release();
    heap_destroy(runtime_heap);
    runtime_heap = nullptr;
    return 0;
}
