// The Windows audio driver: the stand-in's mixer fed to the system's default output device through
// its shared-mode stream (WASAPI) at 44100 Hz stereo 16-bit, converted by the system to the
// device's own format. A thread of its own keeps about 120 ms queued and sleeps 40 ms between
// top-ups, so a game that only plays music wakes the system's audio path as rarely as it can
// (under Wine the older wave-output interface added a thread of its own that woke every 10 ms).
// When the device goes away (unplugged, or the sound system restarted), the stream is opened
// again on the new default device, tried once a second. When no device opens at the start, open
// fails (and so does sound_init).
// Relies on: ole32 (COM), mmdeviceapi.h and audioclient.h, std::thread, audio_driver.h.
#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <atomic>
#include <thread>

#include "runtime/platform/audio/audio_driver.h"

namespace {
constexpr int32_t kRate = 44100;
constexpr REFERENCE_TIME kBufferTime = 2000000;  // 200 ms asked of the system, in 100 ns units
constexpr uint32_t kQueuedFrames = kRate * 120 / 1000;
constexpr DWORD kTopUpMs = 40;
constexpr DWORD kReopenMs = 1000;
constexpr uint32_t kChunkFrames = 1024;  // the mixer is asked for at most this much at a time
// The system resamples our 44100 Hz to the device's rate.
constexpr DWORD kStreamFlags = AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;

struct Stream {
    IMMDevice* device = nullptr;
    IAudioClient* client = nullptr;
    IAudioRenderClient* render = nullptr;
    uint32_t frames = 0;  // the stream's buffer
};

struct AudioState {
    std::thread mixer;
    HANDLE stop = nullptr;   // set by close
    HANDLE ready = nullptr;  // set by the thread once the first open is decided
    bool opened = false;
    AudioMixCallback callback = nullptr;
    void* context = nullptr;
    int16_t chunk[kChunkFrames * 2] = {};
};
AudioState* audio = nullptr;

template <typename T>
void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

void close_stream(Stream& s) {
    if (s.client) s.client->Stop();
    release(s.render);
    release(s.client);
    release(s.device);
}

// Fills the stream up to the queued target with the mixer's output; false when the device is gone.
bool top_up(Stream& s) {
    UINT32 padding = 0;
    if (FAILED(s.client->GetCurrentPadding(&padding))) return false;
    uint32_t target = kQueuedFrames < s.frames ? kQueuedFrames : s.frames;
    while (padding < target) {
        uint32_t n = target - padding;
        if (n > kChunkFrames) n = kChunkFrames;
        BYTE* out = nullptr;
        if (FAILED(s.render->GetBuffer(n, &out))) return false;
        audio->callback(audio->context, reinterpret_cast<int16_t*>(out), int32_t(n));
        if (FAILED(s.render->ReleaseBuffer(n, 0))) return false;
        padding += n;
    }
    return true;
}

bool open_stream(IMMDeviceEnumerator* devices, Stream& s) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = kRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = kRate * 4;
    UINT32 frames = 0;
    bool ok = SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eConsole, &s.device)) &&
              SUCCEEDED(s.device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                           reinterpret_cast<void**>(&s.client))) &&
              SUCCEEDED(s.client->Initialize(AUDCLNT_SHAREMODE_SHARED, kStreamFlags, kBufferTime, 0, &format, nullptr)) &&
              SUCCEEDED(s.client->GetBufferSize(&frames)) &&
              SUCCEEDED(s.client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&s.render)));
    s.frames = frames;
    // Queued before the start, so the device never begins on an empty buffer.
    if (ok) ok = top_up(s) && SUCCEEDED(s.client->Start());
    if (!ok) close_stream(s);
    return ok;
}

void run() {
    // A late refill is heard at once: the mixer goes before the game's own work.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    IMMDeviceEnumerator* devices = nullptr;
    Stream s;
    audio->opened = com &&
                    SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                               reinterpret_cast<void**>(&devices))) &&
                    open_stream(devices, s);
    SetEvent(audio->ready);
    if (audio->opened) {
        DWORD wait = kTopUpMs;
        while (WaitForSingleObject(audio->stop, wait) == WAIT_TIMEOUT) {
            if (s.client && top_up(s)) {
                wait = kTopUpMs;
                continue;
            }
            close_stream(s);  // the device went away: the new default is tried now and then
            wait = open_stream(devices, s) ? kTopUpMs : kReopenMs;
        }
    }
    close_stream(s);
    release(devices);
    if (com) CoUninitialize();
}

void close_device() {
    if (!audio) return;
    if (audio->mixer.joinable()) {
        SetEvent(audio->stop);
        audio->mixer.join();
    }
    if (audio->stop) CloseHandle(audio->stop);
    if (audio->ready) CloseHandle(audio->ready);
    delete audio;
    audio = nullptr;
}

int open(AudioMixCallback callback, void* context, int32_t* rate) {
    if (audio || !callback) return 0;
    audio = new AudioState();
    audio->callback = callback;
    audio->context = context;
    audio->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    audio->ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!audio->stop || !audio->ready) {
        close_device();
        return 0;
    }
    // COM belongs to the mixer's thread, which opens the device and reports how that went.
    audio->mixer = std::thread(run);
    WaitForSingleObject(audio->ready, INFINITE);
    if (!audio->opened) {
        close_device();
        return 0;
    }
    if (rate) *rate = kRate;
    return 1;
}

void close() { close_device(); }
}  // namespace

extern const AudioDriver win32_audio_driver;
const AudioDriver win32_audio_driver = {open, close};
