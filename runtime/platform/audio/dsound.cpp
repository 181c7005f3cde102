// DirectSound stand-in and its mixer. Relies on: dsound.h, backend.h, the C++ library (mutex).
//
// Mixer: each playing buffer keeps a 32.32 fixed-point position in frames and advances by
// frequency / device rate per output frame, interpolating linearly between neighbouring frames;
// at the end of a looped buffer the position wraps with its fraction kept and the frame after the
// last is the first, so loops are seamless. Volume and pan become two 16.16 gains: DirectSound's
// attenuation in hundredths of a decibel on both channels, and pan as attenuation of the opposite
// channel alone; -10000 is silence. At full volume, centre pan and the device's own rate a buffer
// reaches the output sample for sample. Sums are clamped to 16 bits. Samples are little-endian,
// as WAVE data and this machine's words are.
#include "runtime/platform/audio/dsound.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "runtime/platform/system/backend.h"

struct DsObjectData {
    const AudioDriver* driver;
    int32_t device_rate;
    uint32_t references;
    uint32_t level;  // 0 until the cooperative level is set
    WindowHandle window;
    std::mutex lock;  // guards the buffer list and every buffer's play state
    std::vector<DirectSoundBuffer*> buffers;
};

struct DsBufferData {
    DsObjectData* owner;
    uint32_t references;
    bool primary;
    uint32_t flags;
    WaveFormatEx format;
    uint32_t bytes;
    uint32_t frames;
    std::shared_ptr<std::vector<uint8_t>> samples;  // shared with duplicates
    // Play state, guarded by the owner's lock.
    bool playing;
    bool looping;
    uint64_t position;  // frames, 32.32
    uint32_t frequency;
    int32_t volume;
    int32_t pan;
    int32_t gain_left, gain_right;  // 16.16
};

namespace {
DirectSound* the_object = nullptr;  // one device, one object

int32_t gain_of(int32_t hundredths_db) {
    if (hundredths_db <= DSBVOLUME_MIN) return 0;
    return int32_t(std::lround(65536.0 * std::pow(10.0, hundredths_db / 2000.0)));
}

void update_gains(DsBufferData* b) {
    b->gain_left = gain_of(b->volume + (b->pan > 0 ? -b->pan : 0));
    b->gain_right = gain_of(b->volume + (b->pan < 0 ? b->pan : 0));
}

template <int Channels, int Bits>
inline int32_t sample_at(const uint8_t* data, uint32_t frame, int channel) {
    size_t index = size_t(frame) * Channels + size_t(channel);
    if (Bits == 8) return (int32_t(data[index]) - 128) * 256;
    int16_t s;
    std::memcpy(&s, data + index * 2, 2);
    return s;
}

template <int Channels, int Bits>
void mix_one(DsBufferData* b, int32_t* acc, int32_t frames, uint64_t step) {
    const uint8_t* data = b->samples->data();
    const uint32_t count = b->frames;
    const uint64_t end = uint64_t(count) << 32;
    const int32_t gl = b->gain_left, gr = b->gain_right;
    const bool looping = b->looping;
    uint64_t pos = b->position;
    for (int32_t i = 0; i < frames; i++) {
        uint32_t index = uint32_t(pos >> 32);
        uint32_t frac = uint32_t(pos >> 16) & 0xFFFF;
        int32_t l = sample_at<Channels, Bits>(data, index, 0);
        int32_t r = Channels == 2 ? sample_at<Channels, Bits>(data, index, 1) : l;
        if (frac) {
            uint32_t next = index + 1 < count ? index + 1 : (looping ? 0 : index);
            int32_t nl = sample_at<Channels, Bits>(data, next, 0);
            int32_t nr = Channels == 2 ? sample_at<Channels, Bits>(data, next, 1) : nl;
            l += int32_t((int64_t(nl - l) * frac) >> 16);
            r += int32_t((int64_t(nr - r) * frac) >> 16);
        }
        acc[2 * i] += (l * gl) >> 16;
        acc[2 * i + 1] += (r * gr) >> 16;
        pos += step;
        if (pos >= end) {
            if (!looping) {
                b->playing = false;
                pos = 0;
                break;
            }
            pos %= end;
        }
    }
    b->position = pos;
}

void mix_buffer(DsBufferData* b, int32_t* acc, int32_t frames, int32_t device_rate) {
    uint64_t step = (uint64_t(b->frequency) << 32) / uint64_t(device_rate);
    bool stereo = b->format.channels == 2, wide = b->format.bits_per_sample == 16;
    if (stereo && wide) mix_one<2, 16>(b, acc, frames, step);
    else if (stereo) mix_one<2, 8>(b, acc, frames, step);
    else if (wide) mix_one<1, 16>(b, acc, frames, step);
    else mix_one<1, 8>(b, acc, frames, step);
}

void mix_locked(DsObjectData* o, int16_t* out, int32_t frames) {
    constexpr int32_t kChunk = 512;
    int32_t acc[2 * kChunk];
    while (frames > 0) {
        int32_t n = std::min(frames, kChunk);
        std::fill(acc, acc + 2 * n, 0);
        for (DirectSoundBuffer* buffer : o->buffers) {
            DsBufferData* b = buffer->d;
            if (!b->primary && b->playing) mix_buffer(b, acc, n, o->device_rate);
        }
        for (int32_t i = 0; i < 2 * n; i++) out[i] = int16_t(std::clamp(acc[i], -32768, 32767));
        out += 2 * n;
        frames -= n;
    }
}

void device_callback(void* context, int16_t* out, int32_t frames) {
    auto* o = static_cast<DsObjectData*>(context);
    std::lock_guard<std::mutex> guard(o->lock);
    mix_locked(o, out, frames);
}

bool valid_pcm(const WaveFormatEx* f) {
    if (!f || f->format_tag != WAVE_FORMAT_PCM) return false;
    if (f->channels != 1 && f->channels != 2) return false;
    if (f->bits_per_sample != 8 && f->bits_per_sample != 16) return false;
    if (f->samples_per_sec < DSBFREQUENCY_MIN || f->samples_per_sec > DSBFREQUENCY_MAX) return false;
    return f->block_align == f->channels * f->bits_per_sample / 8;
}

DirectSoundBuffer* new_buffer(DsObjectData* owner) {
    auto* d = new (std::nothrow) DsBufferData();
    if (!d) return nullptr;
    auto* buffer = new (std::nothrow) DirectSoundBuffer{d};
    if (!buffer) {
        delete d;
        return nullptr;
    }
    d->owner = owner;
    d->references = 1;
    return buffer;
}

void destroy_buffer(DirectSoundBuffer* buffer) {
    delete buffer->d;
    delete buffer;
}
}  // namespace

DsResult DirectSoundBuffer::lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2,
                                 uint32_t* bytes2, uint32_t flags) {
    if (!part1 || !bytes1 || d->primary) return DSERR_INVALIDPARAM;
    if (flags & DSBLOCK_ENTIREBUFFER) {
        offset = 0;
        bytes = d->bytes;
    }
    if (offset >= d->bytes || bytes == 0 || bytes > d->bytes) return DSERR_INVALIDPARAM;
    uint8_t* base = d->samples->data();
    uint32_t first = std::min(bytes, d->bytes - offset);
    *part1 = base + offset;
    *bytes1 = first;
    if (part2) *part2 = first < bytes ? base : nullptr;
    if (bytes2) *bytes2 = bytes - first;
    if (first < bytes && !part2) return DSERR_INVALIDPARAM;
    return DS_OK;
}

DsResult DirectSoundBuffer::unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) {
    if (d->primary) return DSERR_INVALIDCALL;
    uint8_t* base = d->samples->data();
    auto inside = [&](void* p, uint32_t n) {
        auto* b = static_cast<uint8_t*>(p);
        return !p ? n == 0 : b >= base && n <= d->bytes && size_t(b - base) <= d->bytes - n;
    };
    return inside(part1, bytes1) && inside(part2, bytes2) ? DS_OK : DSERR_INVALIDPARAM;
}

DsResult DirectSoundBuffer::play(uint32_t reserved, uint32_t priority, uint32_t flags) {
    if (reserved || priority || (flags & ~DSBPLAY_LOOPING)) return DSERR_INVALIDPARAM;
    if (d->primary) return DSERR_INVALIDCALL;
    std::lock_guard<std::mutex> guard(d->owner->lock);
    d->playing = true;
    d->looping = flags & DSBPLAY_LOOPING;
    return DS_OK;
}

DsResult DirectSoundBuffer::stop() {
    std::lock_guard<std::mutex> guard(d->owner->lock);
    d->playing = false;
    return DS_OK;
}

DsResult DirectSoundBuffer::set_current_position(uint32_t byte_offset) {
    if (d->primary) return DSERR_INVALIDCALL;
    if (byte_offset >= d->bytes) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(d->owner->lock);
    uint32_t frame = byte_offset / d->format.block_align;
    d->position = frame < d->frames ? uint64_t(frame) << 32 : 0;
    return DS_OK;
}

DsResult DirectSoundBuffer::get_current_position(uint32_t* play_cursor, uint32_t* write_cursor) {
    if (d->primary) return DSERR_INVALIDCALL;
    std::lock_guard<std::mutex> guard(d->owner->lock);
    uint32_t at = uint32_t(d->position >> 32) * d->format.block_align;
    if (play_cursor) *play_cursor = at;
    if (write_cursor) *write_cursor = at;  // the mixer writes where it plays
    return DS_OK;
}

DsResult DirectSoundBuffer::get_status(uint32_t* status) {
    if (!status) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(d->owner->lock);
    *status = d->playing ? DSBSTATUS_PLAYING | (d->looping ? DSBSTATUS_LOOPING : 0) : 0;
    return DS_OK;
}

DsResult DirectSoundBuffer::set_frequency(uint32_t hz) {
    if (!(d->flags & DSBCAPS_CTRLFREQUENCY) || d->primary) return DSERR_CONTROLUNAVAIL;
    if (hz == DSBFREQUENCY_ORIGINAL) hz = d->format.samples_per_sec;
    if (hz < DSBFREQUENCY_MIN || hz > DSBFREQUENCY_MAX) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(d->owner->lock);
    d->frequency = hz;
    return DS_OK;
}

DsResult DirectSoundBuffer::get_frequency(uint32_t* hz) {
    if (!hz) return DSERR_INVALIDPARAM;
    if (!(d->flags & DSBCAPS_CTRLFREQUENCY) || d->primary) return DSERR_CONTROLUNAVAIL;
    std::lock_guard<std::mutex> guard(d->owner->lock);
    *hz = d->frequency;
    return DS_OK;
}

DsResult DirectSoundBuffer::set_volume(int32_t hundredths_db) {
    if (!(d->flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    if (hundredths_db < DSBVOLUME_MIN || hundredths_db > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(d->owner->lock);
    d->volume = hundredths_db;
    update_gains(d);
    return DS_OK;
}

DsResult DirectSoundBuffer::get_volume(int32_t* hundredths_db) {
    if (!hundredths_db) return DSERR_INVALIDPARAM;
    if (!(d->flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    std::lock_guard<std::mutex> guard(d->owner->lock);
    *hundredths_db = d->volume;
    return DS_OK;
}

DsResult DirectSoundBuffer::set_pan(int32_t pan) {
    if (!(d->flags & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
    if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(d->owner->lock);
    d->pan = pan;
    update_gains(d);
    return DS_OK;
}

DsResult DirectSoundBuffer::get_pan(int32_t* pan) {
    if (!pan) return DSERR_INVALIDPARAM;
    if (!(d->flags & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
    std::lock_guard<std::mutex> guard(d->owner->lock);
    *pan = d->pan;
    return DS_OK;
}

uint32_t DirectSoundBuffer::release() {
    if (--d->references) return d->references;
    DsObjectData* owner = d->owner;
    {
        std::lock_guard<std::mutex> guard(owner->lock);
        owner->buffers.erase(std::remove(owner->buffers.begin(), owner->buffers.end(), this), owner->buffers.end());
    }
    destroy_buffer(this);
    return 0;
}

DsResult DirectSound::set_cooperative_level(WindowHandle window, uint32_t level) {
    if (!window || level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
    d->window = window;
    d->level = level;
    return DS_OK;
}

DsResult DirectSound::create_sound_buffer(const DsBufferDesc* desc, DirectSoundBuffer** out, void* outer) {
    if (!out || outer || !desc || desc->size != DSBUFFERDESC_SIZE || desc->reserved) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (!d->level) return DSERR_PRIOLEVELNEEDED;
    bool primary = desc->flags & DSBCAPS_PRIMARYBUFFER;
    if (primary) {
        if (desc->buffer_bytes || desc->format) return DSERR_INVALIDPARAM;
        for (DirectSoundBuffer* b : d->buffers)
            if (b->d->primary) return DSERR_ALLOCATED;  // one primary buffer per object
    } else {
        if (!desc->format) return DSERR_INVALIDPARAM;
        if (!valid_pcm(desc->format)) return DSERR_BADFORMAT;
        if (desc->buffer_bytes < DSBSIZE_MIN || desc->buffer_bytes > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
    }
    DirectSoundBuffer* buffer = new_buffer(d);
    if (!buffer) return DSERR_OUTOFMEMORY;
    DsBufferData* b = buffer->d;
    b->primary = primary;
    b->flags = desc->flags;
    if (!primary) {
        b->format = *desc->format;
        b->bytes = desc->buffer_bytes;
        b->frames = desc->buffer_bytes / b->format.block_align;
        b->frequency = b->format.samples_per_sec;
        try {
            b->samples = std::make_shared<std::vector<uint8_t>>(desc->buffer_bytes);
        } catch (const std::bad_alloc&) {
            destroy_buffer(buffer);
            return DSERR_OUTOFMEMORY;
        }
        // A fresh static buffer holds silence.
        if (b->format.bits_per_sample == 8) std::fill(b->samples->begin(), b->samples->end(), uint8_t(128));
        update_gains(b);
    }
    {
        std::lock_guard<std::mutex> guard(d->lock);
        d->buffers.push_back(buffer);
    }
    *out = buffer;
    return DS_OK;
}

DsResult DirectSound::duplicate_sound_buffer(DirectSoundBuffer* original, DirectSoundBuffer** duplicate) {
    if (!duplicate) return DSERR_INVALIDPARAM;
    *duplicate = nullptr;
    if (!original || original->d->owner != d || original->d->primary) return DSERR_INVALIDPARAM;
    DirectSoundBuffer* buffer = new_buffer(d);
    if (!buffer) return DSERR_OUTOFMEMORY;
    std::lock_guard<std::mutex> guard(d->lock);
    const DsBufferData* from = original->d;
    DsBufferData* b = buffer->d;
    b->flags = from->flags;
    b->format = from->format;
    b->bytes = from->bytes;
    b->frames = from->frames;
    b->samples = from->samples;
    b->frequency = from->frequency;
    b->volume = from->volume;
    b->pan = from->pan;
    update_gains(b);
    d->buffers.push_back(buffer);
    *duplicate = buffer;
    return DS_OK;
}

uint32_t DirectSound::release() {
    if (--d->references) return d->references;
    d->driver->close();  // no callback runs after this
    for (DirectSoundBuffer* buffer : d->buffers) destroy_buffer(buffer);
    delete d;
    if (the_object == this) the_object = nullptr;
    delete this;
    return 0;
}

DsResult direct_sound_create(const void* device_guid, DirectSound** out, void* outer) {
    if (!out || outer || device_guid) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (the_object) return DSERR_ALLOCATED;
    const AudioDriver* driver = platform_backend()->audio;
    if (!driver) return DSERR_NODRIVER;
    auto* o = new DsObjectData();
    o->driver = driver;
    o->references = 1;
    if (!driver->open(device_callback, o, &o->device_rate)) {
        delete o;
        return DSERR_NODRIVER;
    }
    if (o->device_rate <= 0) {
        driver->close();
        delete o;
        return DSERR_NODRIVER;
    }
    the_object = new DirectSound{o};
    *out = the_object;
    return DS_OK;
}

void direct_sound_mix(DirectSound* object, int16_t* out, int32_t frames) {
    if (object && out && frames > 0) device_callback(object->d, out, frames);
}
