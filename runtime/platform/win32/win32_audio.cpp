// The Windows audio driver: the stand-in's mixer fed to the system's default output device through
// its shared-mode stream (WASAPI) at 44100 Hz stereo 16-bit, converted by the system to the
// device's own format. A thread of its own keeps about 120 ms queued and sleeps 40 ms between
// top-ups, so a game that only plays music wakes the system's audio path as rarely as it can
// (under Wine the older wave-output interface added a thread of its own that woke every 10 ms).
// When the player chooses another default output device, the stream moves to it; when its device
// goes away (unplugged, or the sound system restarted), the stream is opened again on the default
// device, tried once a second. When no device opens at the start, open fails (and so does
// sound_init).
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

// Hears from the system that the player chose another default output device, on a thread of the
// system's: it only raises a flag and wakes the mixer's thread, which moves the stream.
class DefaultDeviceWatch final : public IMMNotificationClient {
public:
    std::atomic<bool> changed{false};
    HANDLE wake = nullptr;

    // Lives as long as the driver's state, which outlives the registration.
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IMMNotificationClient)) {
            *out = static_cast<IMMNotificationClient*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override {
        if (flow == eRender && role == eConsole) {
            changed = true;
            SetEvent(wake);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }
};

struct AudioState {
    std::thread mixer;
    HANDLE stop = nullptr;   // set by close
    HANDLE ready = nullptr;  // set by the thread once the first open is decided
    DefaultDeviceWatch watch;
    bool opened = false;
    AudioMixCallback callback = nullptr;
    void* context = nullptr;
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

// Whether the stream already plays on the default device: a notice of a new default that names
// the device in use must not cost the queued sound of a reopening.
bool on_default(IMMDeviceEnumerator* devices, const Stream& s) {
    IMMDevice* device = nullptr;
    LPWSTR current = nullptr, wanted = nullptr;
    bool same = s.device && SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eConsole, &device)) &&
                SUCCEEDED(s.device->GetId(&current)) && SUCCEEDED(device->GetId(&wanted)) && !wcscmp(current, wanted);
    CoTaskMemFree(current);
    CoTaskMemFree(wanted);
    release(device);
    return same;
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
    bool watching = audio->opened && SUCCEEDED(devices->RegisterEndpointNotificationCallback(&audio->watch));
    SetEvent(audio->ready);
    if (audio->opened) {
        HANDLE events[2] = {audio->stop, audio->watch.wake};
        DWORD wait = kTopUpMs;
        while (WaitForMultipleObjects(2, events, FALSE, wait) != WAIT_OBJECT_0) {
            bool moved = audio->watch.changed.exchange(false) && !on_default(devices, s);
            if (!moved && s.client && top_up(s)) {
                wait = kTopUpMs;
                continue;
            }
            // Another default device, or the device went away: the default is tried now and then.
            close_stream(s);
            wait = open_stream(devices, s) ? kTopUpMs : kReopenMs;
        }
    }
    if (watching) devices->UnregisterEndpointNotificationCallback(&audio->watch);
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
    if (audio->watch.wake) CloseHandle(audio->watch.wake);
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
    audio->watch.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!audio->stop || !audio->ready || !audio->watch.wake) {
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
