#include "platform/CWaveIO.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "common/base/Utf8.h"
#include "core/CSynth.h"
#include "platform/CDlgFile.h"
#include "platform/CGlobalData.h"
#include "platform/COSystem.h"

CWaveIO::CWaveIO() {
    COSystem system;
    const char* folder = system.GetAppPath("");
    std::snprintf(defaultPath, sizeof(defaultPath), "%s%s", folder, "record.wav");
    std::snprintf(fileName, sizeof(fileName), "%s", "record.wav");
}

CWaveIO::~CWaveIO() { Stop(); }

bool CWaveIO::Open(const char* path, uint32_t rate) {
    if (!path || std::strlen(path) >= sizeof(defaultPath))
        return false;
    if (IsOpen())
        Stop();
    if (path != defaultPath)
        std::strcpy(defaultPath, path);
    FileNameOf(path, fileName);
    if (!Create(path, rate, 16, 2))
        return false;
    framesRecorded.store(0);
    lostFrames.store(0);
    writeIndex.store(0);
    readIndex.store(0);
    open.store(1);
    return true;
}

bool CWaveIO::ChooseFile() {
    const char* chosen = nullptr;
    if (!g_DlgFile.ChooseRecordFile(&chosen))
        return false;
    return Open(chosen, static_cast<uint32_t>(g_GlobalData.sampleRate));
}

void CWaveIO::Start() {
    if (!IsOpen() && !Open(defaultPath, static_cast<uint32_t>(g_GlobalData.sampleRate)))
        return;
    paused.store(0);
    recording.store(1);
}

void CWaveIO::TogglePause() {
    if (!IsOpen())
        return;
    if (IsPaused()) {
        paused.store(0);
        recording.store(1);
    } else {
        recording.store(0);
        paused.store(1);
    }
}

bool CWaveIO::Stop() {
    if (!IsOpen())
        return false;
    // The audio thread raises `feeding` before it looks at `recording`
    // (both sequentially consistent): either it sees recording off, or this
    // thread sees the feed in progress and waits for it to end.
    recording.store(0);
    paused.store(0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (feeding.load() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    Drain();
    open.store(0);
    return Close();
}

void CWaveIO::Feed(const float* interleaved, int32_t frames) {
    feeding.store(1);
    if (recording.load() == 0 || !interleaved || frames <= 0) {
        feeding.store(0);
        return;
    }
    int32_t w = writeIndex.load(std::memory_order_relaxed);
    const int32_t r = readIndex.load(std::memory_order_acquire);
    // One frame stays free: a full ring must not read as empty.
    const int32_t freeSamples = (r - w - 2 + kRingSamples) % kRingSamples;
    const uint64_t recorded = framesRecorded.load(std::memory_order_relaxed);
    const uint64_t limitFrames = maxRecordedBytes / 4;
    const uint64_t room = limitFrames > recorded ? limitFrames - recorded : 0;
    const int32_t stored = static_cast<int32_t>(
        std::min<uint64_t>({static_cast<uint64_t>(frames), static_cast<uint64_t>(freeSamples / 2), room}));
    for (int32_t i = 0; i < stored; ++i) {
        ring[w] = CSynth::ToInt16(interleaved[2 * i]);
        ring[w + 1] = CSynth::ToInt16(interleaved[2 * i + 1]);
        w = (w + 2) % kRingSamples;
    }
    writeIndex.store(w, std::memory_order_release);
    framesRecorded.fetch_add(static_cast<uint32_t>(stored), std::memory_order_relaxed);
    if (stored < frames)
        lostFrames.fetch_add(static_cast<uint32_t>(frames - stored), std::memory_order_relaxed);
    feeding.store(0);
}

void CWaveIO::Drain() {
    if (!IsOpen())
        return;
    int32_t r = readIndex.load(std::memory_order_relaxed);
    const int32_t w = writeIndex.load(std::memory_order_acquire);
    if (r > w) {
        Write(ring + r, static_cast<uint32_t>(kRingSamples - r) * 2);
        r = 0;
    }
    if (r < w)
        Write(ring + r, static_cast<uint32_t>(w - r) * 2);
    readIndex.store(w, std::memory_order_release);
}

void CWaveIO::GetStatusText(char* out) const {
    if (!out)
        return;
    if (!IsRecording() && !IsPaused()) {
        std::strcpy(out, "not recording");
        return;
    }
    const uint32_t rate = GetSampleRate() ? GetSampleRate() : 44100;
    const int t = static_cast<int>(GetFramesRecorded() * 1000.0 / rate);
    std::sprintf(out, "%02d:%02d:%02d.%03d", t / 3600000, t / 60000 % 60, t / 1000 % 60, t % 1000);
}

void CWaveIO::GetFileName(char* out) const {
    if (!out)
        return;
    // The shown name: 32 bytes, cut between two characters.
    utf8::CopyCut(out, 33, fileName);
}
