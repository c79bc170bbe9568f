#pragma once
// Recorder of the synthesizer's output into a 16-bit stereo WAV file. The
// audio thread converts every rendered buffer into a ring (Feed); the GUI
// thread writes the ring to the file on its timer (Drain). One producer, one
// consumer, no lock.
#include <atomic>
#include <cstdint>

#include "platform/CWaveFile.h"

class CWaveIO : public CWaveFile {
public:
    static constexpr int32_t kRingSamples = 65536;
    // Whole frames only, so the data always ends on a frame.
    static constexpr uint32_t kMaxRecordedBytes = kMaxDataBytes / 4 * 4;

    CWaveIO();
    // Stops a recording still going, so the file is left complete.
    ~CWaveIO() override;

    // Opens a new file at the rate (a file still open is stopped first);
    // the path becomes the default path for the next start.
    bool Open(const char* path, uint32_t rate);
    // Asks for a file; when one is chosen, the file still open is stopped
    // and the chosen one opened.
    bool ChooseFile();
    // Opens the default path at the engine's rate when no file is open, then
    // records.
    void Start();
    void TogglePause();
    // Waits for a feed in progress, writes everything fed and closes the
    // file. False when no file was open (nothing changes then) or when the
    // file did not take all of it.
    bool Stop();

    // Audio thread: converts the frames into the ring, only while recording.
    // Frames that do not fit (the GUI thread drained too little) or would
    // pass the size a WAV file can hold are dropped and counted.
    void Feed(const float* interleaved, int32_t frames);
    // GUI thread: writes what was fed to the file, while a file is open.
    void Drain();

    bool IsRecording() const { return recording.load(std::memory_order_relaxed) != 0; }
    bool IsPaused() const { return paused.load(std::memory_order_relaxed) != 0; }
    bool IsOpen() const { return open.load(std::memory_order_relaxed) != 0; }
    // "not recording", or the recorded time as "hh:mm:ss.mmm".
    void GetStatusText(char* out) const;
    // At most 32 characters of the file's name (out holds 33 bytes).
    void GetFileName(char* out) const;
    uint32_t GetFramesRecorded() const { return framesRecorded.load(std::memory_order_relaxed); }
    uint32_t GetLostFrames() const { return lostFrames.load(std::memory_order_relaxed); }

    char defaultPath[512] = {};
    char fileName[64] = {};
    // The most a file may take; lowered by tests to reach the end quickly.
    uint32_t maxRecordedBytes = kMaxRecordedBytes;

private:
    std::atomic<uint32_t> framesRecorded{0};
    std::atomic<uint32_t> lostFrames{0};
    std::atomic<uint8_t> recording{0};
    std::atomic<uint8_t> open{0};
    std::atomic<uint8_t> paused{0};
    // Set by the audio thread for the time of a feed; Stop waits on it.
    std::atomic<uint8_t> feeding{0};
    int16_t ring[kRingSamples] = {};
    std::atomic<int32_t> writeIndex{0};
    std::atomic<int32_t> readIndex{0};
};
