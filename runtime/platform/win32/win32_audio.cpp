// The Windows audio driver: the stand-in's mixer fed to the system's wave output (waveOut) at
// 44100 Hz stereo 16-bit, from a thread of its own that refills whichever of a few short buffers
// the device has finished. When no device opens, open fails (and so does sound_init).
// Relies on: winmm (waveOut*), std::thread, audio_driver.h.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <thread>
#include <vector>

#include "runtime/platform/audio/audio_driver.h"

namespace {
constexpr int32_t kRate = 44100;
constexpr int kBuffers = 8;
constexpr int32_t kFrames = 1024;  // 23 ms each: about 160 ms queued, enough for a busy system

struct AudioState {
    HWAVEOUT device = nullptr;
    HANDLE wake = nullptr;
    std::thread mixer;
    std::atomic<bool> stop{false};
    AudioMixCallback callback = nullptr;
    void* context = nullptr;
    WAVEHDR headers[kBuffers] = {};
    std::vector<int16_t> samples[kBuffers];
};
AudioState* audio = nullptr;

void feed(WAVEHDR& header, std::vector<int16_t>& samples) {
    audio->callback(audio->context, samples.data(), kFrames);
    header.dwFlags &= ~DWORD(WHDR_DONE);
    waveOutWrite(audio->device, &header, sizeof header);
}

void run() {
    // A late refill is heard at once: the mixer goes before the game's own work.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    while (!audio->stop) {
        for (int i = 0; i < kBuffers; ++i)
            if (audio->headers[i].dwFlags & WHDR_DONE) feed(audio->headers[i], audio->samples[i]);
        WaitForSingleObject(audio->wake, 20);
    }
}

void close_device() {
    if (!audio) return;
    if (audio->mixer.joinable()) {
        audio->stop = true;
        SetEvent(audio->wake);
        audio->mixer.join();
    }
    if (audio->device) {
        waveOutReset(audio->device);
        for (WAVEHDR& header : audio->headers)
            if (header.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(audio->device, &header, sizeof header);
        waveOutClose(audio->device);
    }
    if (audio->wake) CloseHandle(audio->wake);
    delete audio;
    audio = nullptr;
}

int open(AudioMixCallback callback, void* context, int32_t* rate) {
    if (audio || !callback) return 0;
    audio = new AudioState();
    audio->callback = callback;
    audio->context = context;
    audio->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = kRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = kRate * 4;
    if (!audio->wake || waveOutOpen(&audio->device, WAVE_MAPPER, &format, DWORD_PTR(audio->wake), 0, CALLBACK_EVENT) !=
                            MMSYSERR_NOERROR) {
        audio->device = nullptr;
        close_device();
        return 0;
    }
    for (int i = 0; i < kBuffers; ++i) {
        audio->samples[i].assign(size_t(kFrames) * 2, 0);
        WAVEHDR& header = audio->headers[i];
        header.lpData = reinterpret_cast<LPSTR>(audio->samples[i].data());
        header.dwBufferLength = DWORD(kFrames * 4);
        if (waveOutPrepareHeader(audio->device, &header, sizeof header) != MMSYSERR_NOERROR) {
            close_device();
            return 0;
        }
        header.dwFlags |= WHDR_DONE;  // free for the first fill
    }
    if (rate) *rate = kRate;
    audio->mixer = std::thread(run);
    return 1;
}

void close() { close_device(); }
}  // namespace

extern const AudioDriver win32_audio_driver;
const AudioDriver win32_audio_driver = {open, close};
