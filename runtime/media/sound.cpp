// Sound table, WAVE loading and playback. Relies on: sound.h, display.h (screen_window_create).
#include "runtime/media/sound.h"

#include <cstring>

#include "runtime/media/display.h"
#include "runtime/platform/system/backend.h"

SoundState sound_state = {};

namespace {
constexpr uint32_t kBufferFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME |
                                  DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;  // 0x180E2: keeps playing unfocused

uint32_t read32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t read16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

struct WaveImage {
    WaveFormatEx format;
    const uint8_t* samples;
    uint32_t sample_bytes;
};

// Walks the chunks after "fmt " (at offset 12) until "data" and returns that chunk's offset, or 0
// when no "data" chunk lies with all its samples inside the RIFF data. A RIFF file pads a chunk of
// odd size with one byte that the size does not count; `padded` says whether the walk skips it.
// Every chunk header is read only after it was found to lie inside `end`.
uint64_t find_data_chunk(const uint8_t* data, uint64_t end, bool padded) {
    uint64_t chunk = 12;
    for (;;) {
        uint64_t size = read32(data + chunk + 4);
        chunk += size + 8 + (padded ? (size & 1) : 0);
        if (chunk + 8 > end) return 0;
        if (std::memcmp(data + chunk, "data", 4) == 0) break;
    }
    uint64_t bytes = read32(data + chunk + 4);
    return chunk + 8 + bytes > end ? 0 : chunk;
}

// "RIFF" first, "fmt " as the first chunk, then the chunks after it until "data": first stepping
// over pad bytes as the format wants, and if that finds no "data", by the stored sizes alone (as
// writers that leave the pad byte out lay them). Every chunk and the samples must lie inside both
// the RIFF data and the image; a "fmt " body shorter than a PCM format (16 bytes) is refused.
bool parse_wave(const uint8_t* data, size_t size, WaveImage* out) {
    if (size < 20 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 12, "fmt ", 4) != 0) return false;
    uint64_t end = uint64_t(read32(data + 4)) + 8;
    if (end > size) end = size;
    uint64_t fmt_size = read32(data + 16);
    if (fmt_size < 16 || 20 + fmt_size > end) return false;
    const uint8_t* body = data + 20;
    WaveFormatEx& f = out->format;
    f = {};
    f.format_tag = read16(body);
    f.channels = read16(body + 2);
    f.samples_per_sec = read32(body + 4);
    f.avg_bytes_per_sec = read32(body + 8);
    f.block_align = read16(body + 12);
    f.bits_per_sample = read16(body + 14);
    if (fmt_size >= 18) f.extra_size = read16(body + 16);

    uint64_t chunk = find_data_chunk(data, end, true);
    if (!chunk) chunk = find_data_chunk(data, end, false);
    if (!chunk) return false;
    out->samples = data + chunk + 8;
    out->sample_bytes = read32(data + chunk + 4);
    return true;
}

SoundRecord* find_sound(intptr_t number) {
    return static_cast<SoundRecord*>(obj_find_checked(sound_state.sounds, number));
}

void stop_and_rewind(DirectSoundBuffer* buffer) {
    buffer->stop();
    buffer->set_current_position(0);
}

DirectSoundBuffer* copy_buffer(void* payload) { return *static_cast<DirectSoundBuffer**>(payload); }

void release_object() {
    if (sound_state.primary) sound_state.primary->release();
    if (sound_state.dsound) sound_state.dsound->release();
    sound_state.primary = nullptr;
    sound_state.dsound = nullptr;
}
}  // namespace

int sound_init() {
    SoundState& s = sound_state;
    if (!s.sounds) s.sounds = obj_table_create(sizeof(SoundRecord), 64, sound_free);
    if (!s.sounds) return 0;
    if (!screen_window_create()) return 0;
    s.window = display_state.main_window;
    if (s.dsound) return 1;
    s.library = platform_backend()->audio;
    if (!s.library || direct_sound_create(nullptr, &s.dsound, nullptr) != DS_OK) {
        s.dsound = nullptr;
        s.library = nullptr;
        return 0;
    }
    // A failure past this point drops the object again, so that a later call starts over
    // instead of taking a half-made object for a ready one.
    if (s.dsound->set_cooperative_level(s.window, DSSCL_PRIORITY) != DS_OK) {
        release_object();
        return 0;
    }
    DsBufferDesc primary = {DSBUFFERDESC_SIZE, DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr};
    if (s.dsound->create_sound_buffer(&primary, &s.primary, nullptr) != DS_OK) {
        s.primary = nullptr;
        release_object();
        return 0;
    }
    return 1;
}

intptr_t sound_load_from_memory(intptr_t number, const void* data, size_t size) {
    WaveImage wave;
    if (!data || !parse_wave(static_cast<const uint8_t*>(data), size, &wave)) return 0;
    if (!sound_state.dsound || !sound_state.sounds) return 0;

    DsBufferDesc desc = {DSBUFFERDESC_SIZE, kBufferFlags, wave.sample_bytes, 0, &wave.format};
    DirectSoundBuffer* buffer = nullptr;
    if (sound_state.dsound->create_sound_buffer(&desc, &buffer, nullptr) != DS_OK) return 0;

    void *part1 = nullptr, *part2 = nullptr;
    uint32_t bytes1 = 0, bytes2 = 0;
    if (buffer->lock(0, wave.sample_bytes, &part1, &bytes1, &part2, &bytes2, 0) != DS_OK) {
        buffer->release();
        return 0;
    }
    std::memcpy(part1, wave.samples, bytes1);
    if (part2) std::memcpy(part2, wave.samples + bytes1, bytes2);
    buffer->unlock(part1, bytes1, part2, bytes2);

    // Frees any sound of this number first.
    auto* record = static_cast<SoundRecord*>(obj_slot_for(sound_state.sounds, number));
    if (!record) {
        buffer->release();
        return 0;
    }
    record->buffer = buffer;
    record->copies = nullptr;
    buffer->get_pan(&record->pan);
    buffer->get_frequency(&record->frequency);
    buffer->get_volume(&record->volume);
    return number == AUTO_NUMBER ? reinterpret_cast<intptr_t>(record) : reinterpret_cast<intptr_t>(buffer);
}

intptr_t sound_play(intptr_t number, int32_t flags) {
    SoundRecord* record = find_sound(number);
    if (!record) return 0;
    uint32_t play_flags = (flags & SOUND_LOOP) ? DSBPLAY_LOOPING : 0;
    if (!(flags & SOUND_EXTRA_COPY)) {
        record->buffer->stop();
        record->buffer->set_current_position(0);
        return record->buffer->play(0, 0, play_flags) == DS_OK ? 1 : 0;
    }
    // Copies that have finished make room first.
    for (ListNode* node = record->copies; node;) {
        ListNode* next = node->next;
        void* payload = obj_list_payload(node);
        uint32_t status = 0;
        copy_buffer(payload)->get_status(&status);
        if (!(status & DSBSTATUS_PLAYING)) {
            copy_buffer(payload)->release();
            obj_list_remove(&record->copies, payload);
        }
        node = next;
    }
    DirectSoundBuffer* copy = nullptr;
    if (sound_state.dsound->duplicate_sound_buffer(record->buffer, &copy) != DS_OK) return 0;
    void* payload = obj_list_push(&record->copies, sizeof(DirectSoundBuffer*));
    if (!payload) {
        copy->release();
        return 0;
    }
    *static_cast<DirectSoundBuffer**>(payload) = copy;
    copy->set_frequency(record->frequency);
    copy->set_volume(record->volume);
    copy->set_pan(record->pan);
    copy->play(0, 0, play_flags);
    return reinterpret_cast<intptr_t>(payload);
}

int sound_stop(intptr_t number, intptr_t copy) {
    if (number == -1) {
        intptr_t n = 0;
        obj_iterate_start(sound_state.sounds);
        while (obj_iterate_next(sound_state.sounds, &n)) sound_stop(n, 0);
        return 1;
    }
    SoundRecord* record = find_sound(number);
    if (!record) return 0;
    if (copy == 0 || copy == -1) stop_and_rewind(record->buffer);
    if (copy == -1) {
        for (ListNode* node = record->copies; node; node = node->next)
            stop_and_rewind(copy_buffer(obj_list_payload(node)));
    } else if (copy != 0 && obj_list_find(record->copies, reinterpret_cast<void*>(copy))) {
        stop_and_rewind(copy_buffer(reinterpret_cast<void*>(copy)));
    }
    return 1;
}

int sound_free(intptr_t number) {
    SoundRecord* record = find_sound(number);
    if (!record) return 0;
    while (record->copies) {
        void* payload = obj_list_payload(record->copies);
        copy_buffer(payload)->release();
        obj_list_remove(&record->copies, payload);
    }
    record->buffer->release();  // without stopping it first: the release ends its playing
    obj_release(sound_state.sounds, number);
    return 1;
}

void sound_shutdown() {
    SoundState& s = sound_state;
    if (s.sounds) {
        obj_free_all(s.sounds);
        obj_free(s.sounds->slots);
        obj_free(s.sounds);
    }
    release_object();
    s = {};
}
