// The title music: sixteen bars of 3/4 in D minor (i - VI - III - VII - i - iv - VI - V, two bars
// each) at 80 beats a minute, exactly 36 seconds, for four voices: a soft string pad, a round
// bass, a plucked FM arpeggio and a flute-like melody with a stereo echo; then a stereo reverb.
//
// Everything is rendered circularly into a 36-second buffer: a tail that rings past the end
// continues at the start, the echo and the reverb run over the loop twice and keep the second
// pass, so the piece loops without a seam. All arithmetic is integer (Q16 amplitudes, 32-bit
// phase accumulators, the sine table of fixed_math.h), so every machine renders the same samples.
#include "music.h"

#include <cstddef>

#include "fixed_math.h"

namespace gen {
namespace {

constexpr int64_t N = MUSIC_FRAMES;
constexpr int EIGHTHS = 96;  // 16 bars of six eighths

int64_t frame_of(int64_t eighth) { return eighth * N / EIGHTHS; }
int64_t ms(int64_t milliseconds) { return milliseconds * MUSIC_RATE / 1000; }

struct Stereo {
    std::vector<int32_t> l = std::vector<int32_t>(static_cast<size_t>(N), 0);
    std::vector<int32_t> r = std::vector<int32_t>(static_cast<size_t>(N), 0);
    void put(int64_t frame, int32_t vl, int32_t vr) {
        size_t i = static_cast<size_t>(((frame % N) + N) % N);
        l[i] += vl;
        r[i] += vr;
    }
};

// Phase increment of a MIDI note (A4 = 69 = 440 Hz) detuned by `cents`.
uint32_t increment(int midi, int cents) {
    static const int64_t semitone_q30[12] = {1073741824, 1137589835, 1205234447, 1276901417, 1352829926, 1433273380,
                                             1518500250, 1608794974, 1704458901, 1805811301, 1913190429, 2026954652};
    const int64_t a4 = (440LL << 32) / MUSIC_RATE;
    int n = midi - 69;
    int octave = n >= 0 ? n / 12 : -((-n + 11) / 12);
    int semi = n - octave * 12;
    int64_t inc = a4 * semitone_q30[semi] >> 30;
    inc = octave >= 0 ? inc << octave : inc >> -octave;
    inc += inc * cents * 620218 >> 30;  // 2^(c/1200) ~ 1 + c ln2 / 1200 for a few cents
    return static_cast<uint32_t>(inc);
}

// Constant-power pan: position 0 (left) .. 65536 (right) -> Q16 gains.
void pan_gains(int32_t pos, int32_t& gl, int32_t& gr) {
    uint32_t phase = static_cast<uint32_t>(pos) << 14;  // a quarter turn at full right
    gl = cos_phase(phase);
    gr = sin_phase(phase);
}

int32_t mul16(int32_t a, int32_t b) { return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> 16); }

// Attack / sustain / release shape, Q16: linear attack, smooth release after `hold` frames.
int32_t asr(int64_t i, int64_t attack, int64_t hold, int64_t release) {
    if (i < attack) return smooth16(static_cast<int32_t>((i << 16) / attack));
    if (i < hold) return 65536;
    if (i >= hold + release) return 0;
    return 65536 - smooth16(static_cast<int32_t>(((i - hold) << 16) / release));
}

// Exponential decay per sample with time constant tau (frames): multiplier in Q30.
int64_t decay_q30(int64_t tau) { return (1LL << 30) - (1LL << 30) / tau; }

// String pad: two detuned additive oscillators (six soft harmonics) spread left and right, slow
// swell and release, gentle tremolo.
void pad_note(Stereo& out, int64_t start, int64_t hold, int midi, int32_t gain, uint32_t seed) {
    static const int32_t harmonic[6] = {65536, 30000, 17000, 9000, 4600, 2200};
    const int64_t attack = ms(1400), release = ms(2200);
    for (int osc = 0; osc < 2; ++osc) {
        uint32_t inc = increment(midi, osc == 0 ? -7 : 7);
        uint32_t phase = hash32(seed + static_cast<uint32_t>(osc));
        uint32_t lfo = hash32(seed * 3u + static_cast<uint32_t>(osc)),
                 lfo_inc = static_cast<uint32_t>((1LL << 32) / (MUSIC_RATE * 5));
        int32_t gl, gr;
        pan_gains(osc == 0 ? 18000 : 47536, gl, gr);
        for (int64_t i = 0; i < hold + release; ++i) {
            int32_t v = 0;
            for (int k = 0; k < 6; ++k) v += mul16(sin_phase(phase * static_cast<uint32_t>(k + 1)), harmonic[k]);
            int32_t env = mul16(asr(i, attack, hold, release), 60000 + (sin_phase(lfo) >> 4));
            v = mul16(mul16(v, env), gain);
            out.put(start + i, mul16(v, gl), mul16(v, gr));
            phase += inc;
            lfo += lfo_inc;
        }
    }
}

// Bass: sine with a little second and third harmonic, soft attack, slow decay.
void bass_note(Stereo& out, int64_t start, int64_t hold, int midi, int32_t gain) {
    const uint32_t inc = increment(midi, 0);
    const int64_t attack = ms(25), release = ms(450), k = decay_q30(ms(2600));
    int64_t decay = 1LL << 30;
    uint32_t phase = 0;
    for (int64_t i = 0; i < hold + release; ++i) {
        int32_t v = sin_phase(phase) + (sin_phase(phase * 2) >> 2) + (sin_phase(phase * 3) >> 4);
        int32_t env = mul16(asr(i, attack, hold, release), 26000 + static_cast<int32_t>((decay >> 14) * 39536 >> 16));
        v = mul16(mul16(v, env), gain);
        out.put(start + i, v, v);
        phase += inc;
        decay = decay * k >> 30;
    }
}

// Plucked arpeggio: two-operator FM whose brightness falls quickly, plus a fading octave tine.
void pluck_note(Stereo& out, int64_t start, int64_t hold, int midi, int32_t gain, int32_t pan) {
    const uint32_t inc = increment(midi, 0);
    const int64_t attack = ms(4), release = ms(600);
    const int64_t amp_k = decay_q30(ms(900)), index_k = decay_q30(ms(180)), tine_k = decay_q30(ms(90));
    int64_t amp = 1LL << 30, index = 1LL << 30, tine = 1LL << 30;
    uint32_t carrier = 0, modulator = 0;
    int32_t gl, gr;
    pan_gains(pan, gl, gr);
    const int64_t rad = 683565276;  // phase units per radian
    for (int64_t i = 0; i < hold + release; ++i) {
        int32_t idx = 6000 + static_cast<int32_t>((index >> 14) * 90000 >> 16);  // 0.09 .. 1.5 rad
        int64_t offset = static_cast<int64_t>(mul16(idx, sin_phase(modulator))) * rad >> 16;
        int32_t v = sin_phase(carrier + static_cast<uint32_t>(offset)) +
                    mul16(sin_phase(carrier * 2), static_cast<int32_t>(tine >> 15));
        int32_t env = mul16(asr(i, attack, hold, release), static_cast<int32_t>(amp >> 14));
        v = mul16(mul16(v, env), gain);
        out.put(start + i, mul16(v, gl), mul16(v, gr));
        carrier += inc;
        modulator += inc;
        amp = amp * amp_k >> 30;
        index = index * index_k >> 30;
        tine = tine * tine_k >> 30;
    }
}

// Melody: a breathy flute-like tone with delayed vibrato.
void flute_note(Stereo& out, int64_t start, int64_t hold, int midi, int32_t gain, Rng& rng) {
    const uint32_t inc = increment(midi, 0);
    const int64_t attack = ms(110), release = ms(320);
    const uint32_t vib_inc = static_cast<uint32_t>((5LL << 32) / MUSIC_RATE);  // 5 Hz
    uint32_t phase = 0, vib = 0;
    int32_t breath = 0;
    int32_t gl, gr;
    pan_gains(38000, gl, gr);
    for (int64_t i = 0; i < hold + release; ++i) {
        int32_t depth =
            mul16(smoothstep16(static_cast<int32_t>(ms(250)), static_cast<int32_t>(ms(900)), static_cast<int32_t>(i)),
                  9);                                                      // cents
        int64_t vib_cents = static_cast<int64_t>(sin_phase(vib)) * depth;  // Q16 cents
        uint32_t step = inc + static_cast<uint32_t>(((static_cast<int64_t>(inc) * 620218) >> 30) * vib_cents >> 16);
        int32_t v = sin_phase(phase) + mul16(sin_phase(phase * 2), 11000) + mul16(sin_phase(phase * 3), 4000);
        int32_t noise = static_cast<int32_t>(rng.next() >> 48) - 32768;
        breath += (noise - breath) >> 3;
        int32_t env = asr(i, attack, hold, release);
        int32_t chiff = 65536 - smoothstep16(0, static_cast<int32_t>(ms(200)), static_cast<int32_t>(i));
        v += mul16(breath, 2600 + mul16(chiff, 9000));
        v = mul16(mul16(v, env), gain);
        out.put(start + i, mul16(v, gl), mul16(v, gr));
        phase += step;
        vib += vib_inc;
    }
}

struct Chord {
    int bass;
    int pad[4];
    int arp[4];
};

// One chord a bar (each of the progression's chords lasts two bars; the last splits into a
// suspended and a plain A major).
const Chord CHORDS[16] = {
    {38, {50, 57, 62, 65}, {50, 57, 62, 65}}, {38, {50, 57, 62, 65}, {50, 57, 62, 65}},  // Dm
    {34, {46, 53, 58, 62}, {46, 53, 58, 62}}, {34, {46, 53, 58, 62}, {46, 53, 58, 62}},  // Bb
    {41, {53, 57, 60, 65}, {53, 60, 65, 69}}, {41, {53, 57, 60, 65}, {53, 60, 65, 69}},  // F
    {36, {48, 55, 60, 64}, {48, 55, 60, 64}}, {36, {48, 55, 60, 64}, {48, 55, 60, 64}},  // C
    {38, {50, 57, 62, 65}, {50, 57, 62, 65}}, {38, {50, 57, 62, 65}, {50, 57, 62, 65}},  // Dm
    {31, {43, 55, 58, 62}, {55, 62, 67, 70}}, {31, {43, 55, 58, 62}, {55, 62, 67, 70}},  // Gm
    {34, {46, 53, 57, 62}, {46, 53, 58, 62}}, {34, {46, 53, 57, 62}, {46, 53, 57, 62}},  // Bbmaj7
    {33, {45, 52, 57, 62}, {45, 52, 57, 62}}, {33, {45, 52, 57, 61}, {45, 52, 57, 61}},  // Asus4, A
};

struct MelodyNote {
    int midi;  // 0 = rest
    int eighths;
};

const MelodyNote MELODY[] = {
    {0, 2},  {69, 2}, {74, 2},  // 1  Dm
    {77, 4}, {76, 2},           // 2
    {74, 3}, {72, 1}, {70, 2},  // 3  Bb
    {77, 6},                    // 4
    {81, 4}, {79, 2},           // 5  F
    {77, 2}, {76, 2}, {77, 2},  // 6
    {79, 4}, {76, 2},           // 7  C
    {72, 4}, {0, 2},            // 8
    {74, 2}, {77, 2}, {81, 2},  // 9  Dm
    {84, 3}, {81, 1}, {77, 2},  // 10
    {82, 4}, {81, 1}, {79, 1},  // 11 Gm
    {79, 4}, {74, 2},           // 12
    {77, 4}, {74, 2},           // 13 Bb
    {70, 2}, {72, 2}, {74, 2},  // 14
    {76, 4}, {74, 2},           // 15 Asus4
    {73, 4}, {0, 2},            // 16 A
};

// Freeverb-style stereo reverb in integer arithmetic: eight damped combs and four allpasses a side.
struct Reverb {
    struct Comb {
        std::vector<int32_t> buf;
        size_t pos = 0;
        int32_t store = 0;
    };
    struct Allpass {
        std::vector<int32_t> buf;
        size_t pos = 0;
    };
    Comb comb[2][8];
    Allpass allpass[2][4];
    Reverb() {
        static const int comb_len[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
        static const int allpass_len[4] = {556, 441, 341, 225};
        for (int side = 0; side < 2; ++side) {
            for (int k = 0; k < 8; ++k) comb[side][k].buf.assign(static_cast<size_t>(comb_len[k] + 23 * side), 0);
            for (int k = 0; k < 4; ++k) allpass[side][k].buf.assign(static_cast<size_t>(allpass_len[k] + 23 * side), 0);
        }
    }
    int32_t process(int side, int32_t in) {
        const int32_t feedback = 57000, damp = 16000;  // room 0.87, damping 0.24
        int32_t sum = 0;
        for (Comb& c : comb[side]) {
            int32_t y = c.buf[c.pos];
            c.store = mul16(y, 65536 - damp) + mul16(c.store, damp);
            c.buf[c.pos] = in + mul16(c.store, feedback);
            if (++c.pos == c.buf.size()) c.pos = 0;
            sum += y;
        }
        for (Allpass& a : allpass[side]) {
            int32_t b = a.buf[a.pos];
            a.buf[a.pos] = sum + (b >> 1);
            sum = b - sum;
            if (++a.pos == a.buf.size()) a.pos = 0;
        }
        return sum;
    }
};

}  // namespace

std::vector<int16_t> compose_title_music() {
    Stereo dry, melody;
    Rng rng(0x7A4E000Dull);

    for (int bar = 0; bar < 16; ++bar) {
        const Chord& c = CHORDS[bar];
        const int64_t bar_start = frame_of(bar * 6);
        // Pad: a chord every two bars (the last pair of bars changes chord each bar).
        if (bar % 2 == 0 || bar == 15) {
            int bars = bar >= 14 ? 1 : 2;
            for (int k = 0; k < 4; ++k)
                pad_note(dry, bar_start, frame_of(bars * 6) + ms(300), c.pad[k], 4300,
                         static_cast<uint32_t>(bar * 16 + k));
        }
        // Bass: the root through the first bar of a chord; root and fifth in the second.
        if (bar % 2 == 0) {
            bass_note(dry, bar_start, frame_of(6) - ms(120), c.bass, 19000);
        } else {
            bass_note(dry, bar_start, frame_of(4) - ms(120), c.bass, 16500);
            bass_note(dry, bar_start + frame_of(4), frame_of(2) - ms(80), c.bass + 7, 13000);
        }
        // Arpeggio: six eighths over the chord, the pattern turning in the second bar.
        static const int pattern[2][6] = {{0, 1, 2, 3, 2, 1}, {0, 2, 3, 1, 2, 3}};
        for (int e = 0; e < 6; ++e) {
            int32_t accent = e == 0 ? 20000 : (e == 3 ? 15600 : 12500);
            accent += rng.range(-1500, 1500);
            int64_t jitter = rng.range(-90, 90);
            pluck_note(dry, bar_start + frame_of(e) + jitter, frame_of(3), c.arp[pattern[bar % 2][e]], accent,
                       e % 2 ? 22000 : 43536);
        }
    }
    // Melody.
    int64_t eighth = 0;
    for (const MelodyNote& m : MELODY) {
        if (m.midi) {
            int64_t jitter = rng.range(-120, 120);
            int32_t gain = (eighth % 6 == 0 ? 23000 : 20000) + rng.range(-900, 900);
            flute_note(melody, frame_of(eighth) + jitter, frame_of(m.eighths) - ms(70), m.midi, gain, rng);
        }
        eighth += m.eighths;
    }
    // Melody echo: right a dotted quarter later on the left, left a quarter-and-a-half later on
    // the right, circularly.
    const int64_t echo_l = frame_of(3), echo_r = frame_of(4);
    for (int64_t i = 0; i < N; ++i) {
        size_t j = static_cast<size_t>(i);
        dry.l[j] += melody.l[j] + (melody.r[static_cast<size_t>((i - echo_l + N) % N)] * 5 >> 4);
        dry.r[j] += melody.r[j] + (melody.l[static_cast<size_t>((i - echo_r + N) % N)] * 5 >> 4);
    }
    // Reverb over two passes of the loop; the second pass is kept, so its tail wraps around.
    Reverb reverb;
    std::vector<int32_t> wet_l(static_cast<size_t>(N)), wet_r(static_cast<size_t>(N));
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < static_cast<size_t>(N); ++i) {
            int32_t in = (dry.l[i] + dry.r[i]) >> 6;
            int32_t l = reverb.process(0, in), r = reverb.process(1, in);
            if (pass == 1) {
                wet_l[i] = l;
                wet_r[i] = r;
            }
        }
    }
    // Mix (a little of each wet side into the other for a wide but not split image), normalise
    // the peak to 29000 (-1.07 dBFS).
    std::vector<int32_t> mix(static_cast<size_t>(N) * 2);
    int64_t peak = 1;
    for (size_t i = 0; i < static_cast<size_t>(N); ++i) {
        int32_t wl = wet_l[i] - (wet_r[i] >> 3), wr = wet_r[i] - (wet_l[i] >> 3);
        mix[2 * i] = dry.l[i] + mul16(wl, 30000);
        mix[2 * i + 1] = dry.r[i] + mul16(wr, 30000);
        for (int c = 0; c < 2; ++c) {
            int64_t a = mix[2 * i + c] < 0 ? -static_cast<int64_t>(mix[2 * i + c]) : mix[2 * i + c];
            if (a > peak) peak = a;
        }
    }
    std::vector<int16_t> out(mix.size());
    for (size_t i = 0; i < mix.size(); ++i) {
        int64_t v = static_cast<int64_t>(mix[i]) * 29000;
        v = v >= 0 ? (v + peak / 2) / peak : -((-v + peak / 2) / peak);
        out[i] = static_cast<int16_t>(v);
    }
    return out;
}

}  // namespace gen
