// Sound playback on the headless audio driver: the WAVE loader's chunk rules and bounds, play,
// loop, stop and copies heard through the mixer, and the mixer's volume, pan and resampling.
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/media/display.h"
#include "runtime/media/sound.h"
#include "runtime/platform/headless/headless_audio.h"
#include "support/runtime_fixture.h"

namespace {
using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i)));
}
void put16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put_tag(Bytes& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

Bytes fmt_body(uint16_t channels, uint16_t bits, uint32_t rate) {
    Bytes f;
    uint16_t block = uint16_t(channels * bits / 8);
    put16(f, 1);
    put16(f, channels);
    put32(f, rate);
    put32(f, rate * block);
    put16(f, block);
    put16(f, bits);
    return f;
}

// A RIFF/WAVE image: "fmt " with the body given, optional chunks, then "data".
Bytes wave_image(const Bytes& fmt, const Bytes& samples, const Bytes& between = {}) {
    Bytes b;
    put_tag(b, "RIFF");
    put32(b, 0);
    put_tag(b, "WAVE");
    put_tag(b, "fmt ");
    put32(b, uint32_t(fmt.size()));
    b.insert(b.end(), fmt.begin(), fmt.end());
    b.insert(b.end(), between.begin(), between.end());
    put_tag(b, "data");
    put32(b, uint32_t(samples.size()));
    b.insert(b.end(), samples.begin(), samples.end());
    uint32_t riff = uint32_t(b.size() - 8);
    std::memcpy(&b[4], &riff, 4);
    return b;
}

Bytes pcm16(const std::vector<int16_t>& samples) {
    Bytes b;
    for (int16_t s : samples) put16(b, uint16_t(s));
    return b;
}

// Stereo 16-bit frames with distinct values per frame and channel.
std::vector<int16_t> ramp(int frames, int base) {
    std::vector<int16_t> s;
    for (int i = 0; i < frames; i++) {
        s.push_back(int16_t(base + i * 3));
        s.push_back(int16_t(-base - i * 5));
    }
    return s;
}

// A file written by tests/data/sounds/make_sounds.py (sox and chunks inserted after it).
Bytes sound_file(const std::string& name) {
    std::ifstream in(std::string(TARNWOOD_TEST_DATA) + "/sounds/" + name, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes stereo_wave(const std::vector<int16_t>& samples) { return wave_image(fmt_body(2, 16, 44100), pcm16(samples)); }

class SoundTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        headless_audio_reset();
        display_state = {};
    }
    void TearDown() override {
        sound_shutdown();
        EXPECT_FALSE(headless_audio().open);
        screen_library_release();  // the window sound_init made, and its class
        RuntimeTest::TearDown();
    }
    static intptr_t load(intptr_t number, const Bytes& image) {
        return sound_load_from_memory(number, image.data(), image.size());
    }
    static int copy_count(intptr_t number) {
        auto* record = static_cast<SoundRecord*>(obj_find(sound_state.sounds, number));
        int n = 0;
        for (ListNode* node = record ? record->copies : nullptr; node; node = node->next) n++;
        return n;
    }
    static std::vector<int16_t> pull(int frames) { return headless_audio_pull(frames); }
    static std::vector<int16_t> frames_of(const std::vector<int16_t>& s, int first, int count) {
        return std::vector<int16_t>(s.begin() + 2 * first, s.begin() + 2 * (first + count));
    }
};
}  // namespace

TEST_F(SoundTest, StoredMusicLayoutLoadsIntoOneBuffer) {
    ASSERT_NE(sound_init(), 0);
    EXPECT_NE(display_state.main_window, 0);  // the window was made for the cooperative level
    Bytes samples(6350400);
    for (size_t i = 0; i < samples.size(); i++) samples[i] = uint8_t(i * 7);
    Bytes image = wave_image(fmt_body(2, 16, 44100), samples);
    ASSERT_EQ(image.size(), 6350444u);
    intptr_t handle = load(6, image);
    auto* record = static_cast<SoundRecord*>(obj_find(sound_state.sounds, 6));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(handle, reinterpret_cast<intptr_t>(record->buffer));
    EXPECT_EQ(record->frequency, 44100u);
    EXPECT_EQ(record->volume, 0);
    EXPECT_EQ(record->pan, 0);
    void *p1, *p2;
    uint32_t n1, n2;
    ASSERT_EQ(record->buffer->lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER), DS_OK);
    EXPECT_EQ(n1, 6350400u);
    EXPECT_EQ(n2, 0u);
    EXPECT_EQ(std::memcmp(p1, samples.data(), samples.size()), 0);
    record->buffer->unlock(p1, n1, p2, n2);

    intptr_t automatic = load(AUTO_NUMBER, stereo_wave(ramp(8, 0)));
    EXPECT_EQ(obj_find_checked(sound_state.sounds, automatic), reinterpret_cast<void*>(automatic));
}

TEST_F(SoundTest, LoaderWalksChunksAndRefusesWhatDoesNotFit) {
    ASSERT_NE(sound_init(), 0);
    Bytes fmt = fmt_body(1, 16, 22050), samples = pcm16({1, 2, 3, 4});
    Bytes list;
    put_tag(list, "LIST");
    put32(list, 4);
    put_tag(list, "INFO");
    EXPECT_NE(load(1, wave_image(fmt, samples, list)), 0);
    Bytes long_fmt = fmt;
    long_fmt.insert(long_fmt.end(), {0, 0});  // 18-byte body with its extra size
    EXPECT_NE(load(2, wave_image(long_fmt, samples)), 0);

    Bytes good = wave_image(fmt, samples);
    EXPECT_EQ(sound_load_from_memory(3, nullptr, 100), 0);
    EXPECT_EQ(sound_load_from_memory(3, good.data(), 19), 0);
    for (size_t cut = 20; cut < good.size(); cut++)  // every truncation
        EXPECT_EQ(sound_load_from_memory(3, good.data(), cut), 0) << cut;

    Bytes bad = good;
    std::memcpy(&bad[0], "RIFX", 4);
    EXPECT_EQ(load(3, bad), 0);
    bad = good;
    std::memcpy(&bad[12], "LIST", 4);  // "fmt " must come first
    EXPECT_EQ(load(3, bad), 0);
    bad = good;
    std::memcpy(&bad[36], "dat_", 4);  // no "data" chunk
    EXPECT_EQ(load(3, bad), 0);
    bad = good;
    bad[40] = 0xFF, bad[41] = 0xFF, bad[42] = 0xFF, bad[43] = 0xFF;  // samples beyond the image
    EXPECT_EQ(load(3, bad), 0);
    bad = good;
    bad[16] = 0xF0, bad[17] = 0xFF, bad[18] = 0xFF, bad[19] = 0xFF;  // fmt chunk beyond the image
    EXPECT_EQ(load(3, bad), 0);
    bad = good;
    bad[4] = 20, bad[5] = bad[6] = bad[7] = 0;  // RIFF data ends inside "fmt "
    EXPECT_EQ(load(3, bad), 0);
    Bytes short_fmt(fmt.begin(), fmt.begin() + 14);
    EXPECT_EQ(load(3, wave_image(short_fmt, samples)), 0);
    // Formats the buffer cannot hold: 24 bits, 3 channels, no samples.
    EXPECT_EQ(load(3, wave_image(fmt_body(1, 24, 22050), pcm16({1, 2, 3}))), 0);
    EXPECT_EQ(load(3, wave_image(fmt_body(3, 16, 22050), pcm16({1, 2, 3}))), 0);
    EXPECT_EQ(load(3, wave_image(fmt, {})), 0);
    EXPECT_EQ(obj_find(sound_state.sounds, 3), nullptr);
}

TEST_F(SoundTest, PadBytesAfterOddChunksFromAnotherWriter) {
    ASSERT_NE(sound_init(), 0);
    const Bytes samples = sound_file("tone.raw");  // sox's bare samples of the tone
    ASSERT_EQ(samples.size(), 440u);
    const struct {
        const char* file;
        bool taken;
    } cases[] = {
        {"tone.wav", true},            // "data" directly after "fmt "
        {"odd_padded.wav", true},      // LIST of 27 bytes and its pad byte
        {"odd_unpadded.wav", true},    // the same LIST with the pad byte left out
        {"two_odd_padded.wav", true},  // two odd chunks, each padded
        {"even.wav", true},            // LIST of 20 bytes
        {"truncated.wav", false},      // the padded file cut inside its samples
    };
    intptr_t number = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Bytes image = sound_file(c.file);
        ASSERT_GT(image.size(), 44u);
        intptr_t handle = load(number, image);
        if (!c.taken) {
            EXPECT_EQ(handle, 0);
            EXPECT_EQ(obj_find(sound_state.sounds, number), nullptr);
            continue;
        }
        ASSERT_NE(handle, 0);
        auto* record = static_cast<SoundRecord*>(obj_find(sound_state.sounds, number));
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->frequency, 22050u);
        void *p1, *p2;
        uint32_t n1, n2;
        ASSERT_EQ(record->buffer->lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER), DS_OK);
        EXPECT_EQ(Bytes(static_cast<uint8_t*>(p1), static_cast<uint8_t*>(p1) + n1), samples);
        record->buffer->unlock(p1, n1, p2, n2);
        // Every cut of a taken file loses samples or chunk headers and is refused, never read beyond.
        for (size_t cut = 20; cut < image.size(); cut += 7) {
            Bytes part(image.begin(), image.begin() + long(cut));
            EXPECT_EQ(load(99, part), 0) << "cut at " << cut;
        }
        number++;
    }
}

TEST_F(SoundTest, LoopedBufferWrapsSampleExactly) {
    ASSERT_NE(sound_init(), 0);
    std::vector<int16_t> src = ramp(100, 1000);
    ASSERT_NE(load(6, stereo_wave(src)), 0);
    ASSERT_EQ(sound_play(6, SOUND_LOOP), 1);
    std::vector<int16_t> heard;
    for (int chunk : {33, 77, 100, 1, 140}) {  // callbacks of any length
        std::vector<int16_t> part = pull(chunk);
        heard.insert(heard.end(), part.begin(), part.end());
    }
    ASSERT_EQ(heard.size(), 2u * 351);
    for (size_t i = 0; i < heard.size(); i++) ASSERT_EQ(heard[i], src[i % src.size()]) << i;
}

TEST_F(SoundTest, OncePlayedBufferEndsAndReportsStopped) {
    ASSERT_NE(sound_init(), 0);
    std::vector<int16_t> src = ramp(50, 300);
    intptr_t buffer = load(6, stereo_wave(src));
    ASSERT_EQ(sound_play(6, 0), 1);
    std::vector<int16_t> heard = pull(80);
    EXPECT_EQ(frames_of(heard, 0, 50), src);
    EXPECT_EQ(frames_of(heard, 50, 30), std::vector<int16_t>(60, 0));
    uint32_t status = 1;
    reinterpret_cast<DirectSoundBuffer*>(buffer)->get_status(&status);
    EXPECT_EQ(status, 0u);
}

TEST_F(SoundTest, StopRewindsAndLoopPlayRestarts) {
    ASSERT_NE(sound_init(), 0);
    std::vector<int16_t> src = ramp(200, 10);
    auto* buffer = reinterpret_cast<DirectSoundBuffer*>(load(6, stereo_wave(src)));
    ASSERT_NE(buffer, nullptr);
    sound_play(6, SOUND_LOOP);
    pull(70);
    uint32_t play_at = 0, write_at = 0, status = 0;
    buffer->get_current_position(&play_at, &write_at);
    EXPECT_EQ(play_at, 70u * 4);  // bytes
    buffer->get_status(&status);
    EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    sound_stop(6);
    buffer->get_current_position(&play_at, &write_at);
    EXPECT_EQ(play_at, 0u);
    EXPECT_EQ(pull(10), std::vector<int16_t>(20, 0));
    sound_play(6, 0);
    EXPECT_EQ(pull(20), frames_of(src, 0, 20));

    sound_play(6, SOUND_LOOP);
    pull(45);
    ASSERT_EQ(sound_play(6, SOUND_LOOP), 1);  // already playing: starts again from the beginning
    EXPECT_EQ(pull(20), frames_of(src, 0, 20));
    EXPECT_EQ(sound_play(7, 0), 0);
    EXPECT_EQ(sound_stop(7), 0);
}

TEST_F(SoundTest, StopAllLeavesCopiesPlaying) {
    ASSERT_NE(sound_init(), 0);
    std::vector<int16_t> a = ramp(64, 100), b = ramp(64, 2000);
    ASSERT_NE(load(1, stereo_wave(a)), 0);
    ASSERT_NE(load(2, stereo_wave(b)), 0);
    sound_play(1, SOUND_LOOP);
    sound_play(2, SOUND_LOOP);
    intptr_t copy = sound_play(1, SOUND_LOOP | SOUND_EXTRA_COPY);
    ASSERT_NE(copy, 0);
    pull(10);
    sound_stop(-1, 0);
    EXPECT_EQ(pull(20), frames_of(a, 10, 20));  // only the copy, where it was

    sound_stop(1, copy + 16);  // not a copy of this sound: nothing happens
    EXPECT_EQ(pull(4), frames_of(a, 30, 4));
    sound_stop(1, copy);
    EXPECT_EQ(pull(4), std::vector<int16_t>(8, 0));
    sound_play(1, 0);
    sound_play(1, SOUND_EXTRA_COPY);
    sound_stop(1, -1);
    EXPECT_EQ(pull(4), std::vector<int16_t>(8, 0));
}

TEST_F(SoundTest, FinishedCopiesAreReleasedAtTheNextExtraCopy) {
    ASSERT_NE(sound_init(), 0);
    ASSERT_NE(load(4, stereo_wave(ramp(20, 0))), 0);
    sound_play(4, SOUND_EXTRA_COPY);
    sound_play(4, SOUND_EXTRA_COPY | SOUND_LOOP);
    EXPECT_EQ(copy_count(4), 2);
    pull(30);  // the one-shot copy has finished; the looped one plays on
    EXPECT_EQ(copy_count(4), 2);
    sound_play(4, SOUND_EXTRA_COPY);
    EXPECT_EQ(copy_count(4), 2);  // one pruned, one added
    intptr_t stopped = sound_play(4, SOUND_EXTRA_COPY | SOUND_LOOP);
    sound_stop(4, stopped);
    EXPECT_EQ(copy_count(4), 3);  // a stopped copy waits for the next prune
    pull(30);
    sound_play(4, SOUND_EXTRA_COPY);
    EXPECT_EQ(copy_count(4), 2);
    EXPECT_EQ(sound_free(4), 1);
    EXPECT_EQ(sound_play(4, SOUND_EXTRA_COPY), 0);
    EXPECT_EQ(pull(4), std::vector<int16_t>(8, 0));  // the freed sound's copies are gone too
}

TEST_F(SoundTest, ReloadingANumberReleasesTheOldBuffer) {
    ASSERT_NE(sound_init(), 0);
    ASSERT_NE(load(6, stereo_wave(ramp(30, 500))), 0);
    sound_play(6, SOUND_LOOP);
    sound_play(6, SOUND_LOOP | SOUND_EXTRA_COPY);
    std::vector<int16_t> next = ramp(30, 9000);
    ASSERT_NE(load(6, stereo_wave(next)), 0);
    EXPECT_EQ(pull(5), std::vector<int16_t>(10, 0));
    EXPECT_EQ(copy_count(6), 0);
    sound_play(6, 0);
    EXPECT_EQ(pull(5), frames_of(next, 0, 5));
}

TEST_F(SoundTest, VolumeAndPanAttenuateInHundredthsOfADecibel) {
    ASSERT_NE(sound_init(), 0);
    std::vector<int16_t> src(2 * 16);
    for (size_t i = 0; i < src.size(); i++) src[i] = 20000;
    ASSERT_NE(load(1, stereo_wave(src)), 0);
    auto* record = static_cast<SoundRecord*>(obj_find(sound_state.sounds, 1));
    auto level = [&](int32_t volume, int32_t pan) {
        EXPECT_EQ(record->buffer->set_volume(volume), DS_OK);
        EXPECT_EQ(record->buffer->set_pan(pan), DS_OK);
        sound_play(1, SOUND_LOOP);
        std::vector<int16_t> s = pull(4);
        return std::pair<double, double>(s[0] / 20000.0, s[1] / 20000.0);
    };
    auto [l0, r0] = level(0, 0);
    EXPECT_EQ(l0, 1.0);
    EXPECT_EQ(r0, 1.0);
    auto [l1, r1] = level(-600, 0);  // -6 dB
    EXPECT_NEAR(l1, 0.5012, 0.001);
    EXPECT_NEAR(r1, 0.5012, 0.001);
    auto [l2, r2] = level(0, 10000);  // right only
    EXPECT_EQ(l2, 0.0);
    EXPECT_EQ(r2, 1.0);
    auto [l3, r3] = level(-1000, -2000);  // left at -10 dB, right at -30 dB
    EXPECT_NEAR(l3, 0.3162, 0.001);
    EXPECT_NEAR(r3, 0.0316, 0.001);
    auto [l4, r4] = level(-10000, 0);
    EXPECT_EQ(l4, 0.0);
    EXPECT_EQ(r4, 0.0);
    EXPECT_EQ(record->buffer->set_volume(100), DSERR_INVALIDPARAM);
    EXPECT_EQ(record->buffer->set_pan(-10001), DSERR_INVALIDPARAM);

    // Copies take the volume, pan and frequency read at loading, not the buffer's present ones.
    sound_stop(1);
    record->volume = -2000;
    record->pan = 0;
    record->frequency = 22050;
    sound_play(1, SOUND_LOOP | SOUND_EXTRA_COPY);
    std::vector<int16_t> s = pull(2);
    EXPECT_NEAR(s[0] / 20000.0, 0.1, 0.001);
    EXPECT_NEAR(s[1] / 20000.0, 0.1, 0.001);
    void* copy_payload = obj_list_payload(record->copies);
    uint32_t hz = 0;
    (*static_cast<DirectSoundBuffer**>(copy_payload))->get_frequency(&hz);
    EXPECT_EQ(hz, 22050u);
}

TEST_F(SoundTest, MonoEightBitAtHalfRatePlaysAtPitchAndLength) {
    ASSERT_NE(sound_init(), 0);
    // 0.1 s of a 441 Hz sine at 22050 Hz: 2205 frames, 44.1 cycles.
    Bytes samples;
    for (int i = 0; i < 2205; i++)
        samples.push_back(uint8_t(128 + std::lround(100 * std::sin(2 * 3.14159265358979323846 * 441 * i / 22050.0))));
    ASSERT_NE(load(1, wave_image(fmt_body(1, 8, 22050), samples)), 0);
    sound_play(1, 0);
    std::vector<int16_t> s = pull(5000);
    int last_sound = -1, crossings = 0;
    for (int i = 0; i < 5000; i++) {
        ASSERT_EQ(s[2 * i], s[2 * i + 1]) << i;  // mono on both channels
        if (s[2 * i] != 0) last_sound = i;
        if (i > 0 && (s[2 * i - 2] < 0) != (s[2 * i] < 0)) crossings++;
    }
    EXPECT_NEAR(last_sound, 4410, 2);  // twice as many output frames: the same 0.1 s
    EXPECT_NEAR(crossings, 88, 2);     // 44.1 cycles in it: 441 Hz
    // Source frames land on even output frames unchanged, the odd ones halfway between.
    EXPECT_EQ(s[2 * 20], (int(samples[10]) - 128) * 256);
    EXPECT_EQ(s[2 * 21], ((int(samples[10]) - 128) * 256 + (int(samples[11]) - 128) * 256) / 2);
}

TEST_F(SoundTest, MixSumsAndClamps) {
    ASSERT_NE(sound_init(), 0);
    std::vector<int16_t> loud(2 * 8, 30000), quiet(2 * 8, -1000);
    ASSERT_NE(load(1, stereo_wave(loud)), 0);
    ASSERT_NE(load(2, stereo_wave(loud)), 0);
    ASSERT_NE(load(3, stereo_wave(quiet)), 0);
    sound_play(1, SOUND_LOOP);
    sound_play(3, SOUND_LOOP);
    EXPECT_EQ(pull(1)[0], 29000);
    sound_play(2, SOUND_LOOP);
    EXPECT_EQ(pull(1)[0], 32767);
}

TEST_F(SoundTest, WithoutDeviceInitFailsAndEverythingReturnsZero) {
    headless_audio().open_allowed = false;
    EXPECT_EQ(sound_init(), 0);
    EXPECT_EQ(sound_state.dsound, nullptr);
    EXPECT_EQ(load(6, stereo_wave(ramp(8, 0))), 0);
    EXPECT_EQ(sound_play(6, SOUND_LOOP), 0);
    EXPECT_EQ(sound_stop(6), 0);
    sound_stop(-1);
    headless_audio().open_allowed = true;
    EXPECT_NE(sound_init(), 0);  // a later attempt starts over
}

TEST_F(SoundTest, ShutdownReleasesEverythingAndInitWorksAgain) {
    ASSERT_NE(sound_init(), 0);
    ASSERT_NE(load(6, stereo_wave(ramp(8, 0))), 0);
    sound_play(6, SOUND_LOOP);
    sound_play(6, SOUND_LOOP | SOUND_EXTRA_COPY);
    sound_shutdown();
    EXPECT_FALSE(headless_audio().open);
    EXPECT_EQ(sound_state.sounds, nullptr);
    ASSERT_NE(sound_init(), 0);
    EXPECT_TRUE(headless_audio().open);
}

TEST_F(SoundTest, LoopSeamKeepsTheFractionAtOtherRates) {
    ASSERT_NE(sound_init(), 0);
    std::vector<int16_t> src;
    for (int i = 0; i < 8; i++) src.push_back(int16_t(i * 100));
    ASSERT_NE(load(1, wave_image(fmt_body(1, 16, 44100), pcm16(src))), 0);
    auto* record = static_cast<SoundRecord*>(obj_find(sound_state.sounds, 1));
    ASSERT_EQ(record->buffer->set_frequency(33075), DS_OK);  // 3/4 of a source frame per output frame
    sound_play(1, SOUND_LOOP);
    std::vector<int16_t> s = pull(13);
    const int expected[] = {0, 75, 150, 225, 300, 375, 450, 525, 600, 675, 350, 25, 100};
    for (int i = 0; i < 13; i++) EXPECT_EQ(s[2 * i], expected[i]) << i;
}
