#include "platform/CWaveIO.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/CMIDIQueue.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "os/OFileChooser.h"
#include "platform/CDlgFile.h"
#include "tests/GlobalGuards.h"
#include "tests/core/MeasureFrequency.h"
#include "tests/os/TestFolders.h"

namespace {

struct WavRead {
    SF_INFO info{};
    std::vector<int16_t> samples;  // interleaved
    uint32_t riffSize = 0, dataSize = 0;
};

WavRead ReadWav(const std::string& path) {
    WavRead r;
    const std::string bytes = testutil::ReadFile(path);
    if (bytes.size() >= 44) {
        std::memcpy(&r.riffSize, bytes.data() + 4, 4);
        std::memcpy(&r.dataSize, bytes.data() + 40, 4);
    }
    if (SNDFILE* f = sf_open(path.c_str(), SFM_READ, &r.info)) {
        r.samples.resize(static_cast<size_t>(r.info.frames * r.info.channels));
        sf_read_short(f, r.samples.data(), static_cast<sf_count_t>(r.samples.size()));
        sf_close(f);
    }
    return r;
}

// Frame i holds (i, -i) modulo 16384, so order and whole frames show. Fed in
// 512-frame render calls, drained every drainEvery frames (0: never).
void FeedRamp(CWaveIO& rec, int32_t from, int32_t frames, int32_t drainEvery = 0) {
    std::vector<float> x;
    for (int32_t i = from; i < from + frames; ++i) {
        x.push_back((static_cast<float>(i % 16384) + 0.5f) / 32767.0f);
        x.push_back(-x.back());
    }
    for (int32_t done = 0; done < frames; done += 512) {
        rec.Feed(x.data() + 2 * done, std::min(512, frames - done));
        if (drainEvery > 0 && (done / 512 + 1) * 512 % drainEvery == 0)
            rec.Drain();
    }
}

std::vector<int16_t> Ramp(int32_t frames) {
    std::vector<int16_t> x;
    for (int32_t i = 0; i < frames; ++i)
        x.insert(x.end(), {static_cast<int16_t>(i % 16384), static_cast<int16_t>(-(i % 16384))});
    return x;
}

class WaveIOTest : public testing::Test {
protected:
    std::string Path(const char* name) { return folder / name; }
    testutil::ScopedSettings settings;  // the recorder keeps its last folder
    testutil::TempFolder folder;
    CWaveIO rec;
};

} // namespace

TEST_F(WaveIOTest, OneSecondGivesExactSizesTimeAndSaturatedSamples) {
    const std::string path = Path("take.wav");
    EXPECT_FALSE(rec.Stop());  // no file: false, nothing changes
    ASSERT_TRUE(rec.Open(path.c_str(), 44100));
    rec.Start();
    // Beyond full scale saturates, NaN records silence.
    const float loud[] = {1.5f, -1.5f, NAN, INFINITY};
    rec.Feed(loud, 2);
    FeedRamp(rec, 2, 44098, 2048);
    char text[64];
    rec.GetStatusText(text);
    EXPECT_STREQ(text, "00:00:01.000");
    EXPECT_TRUE(rec.Stop());
    rec.GetStatusText(text);
    EXPECT_STREQ(text, "not recording");

    const WavRead w = ReadWav(path);
    EXPECT_EQ(w.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(w.info.channels, 2);
    EXPECT_EQ(w.info.samplerate, 44100);
    EXPECT_EQ(w.info.frames, 44100);
    EXPECT_EQ(w.dataSize, 176400u);
    EXPECT_EQ(w.riffSize, 176436u);
    std::vector<int16_t> want = Ramp(44100);
    want[0] = 32767, want[1] = -32767, want[2] = 0, want[3] = 32767;
    EXPECT_EQ(w.samples, want);
}

TEST_F(WaveIOTest, NothingFedIsLostAtPauseOrStopAndOverrunsKeepWholeFrames) {
    const std::string path = Path("pause.wav");
    ASSERT_TRUE(rec.Open(path.c_str(), 44100));
    rec.Start();
    // Fed, then paused before a drain: the drain still writes it.
    FeedRamp(rec, 0, 30000);
    rec.TogglePause();
    rec.Drain();
    FeedRamp(rec, 0, 1000);  // paused: not recorded
    rec.Start();             // clears paused
    EXPECT_FALSE(rec.IsPaused());
    // The writer wraps around the ring's end; stop writes both parts.
    FeedRamp(rec, 30000, 10000);
    EXPECT_TRUE(rec.Stop());
    EXPECT_EQ(ReadWav(path).samples, Ramp(40000));

    // Never drained: the ring keeps one frame less than its size, counts
    // the rest, and takes frames again after a drain.
    ASSERT_TRUE(rec.Open(path.c_str(), 44100));
    rec.Start();
    const int32_t kept = CWaveIO::kRingSamples / 2 - 1;
    FeedRamp(rec, 0, kept + 1000);
    EXPECT_EQ(rec.GetLostFrames(), 1000u);
    rec.Drain();
    FeedRamp(rec, kept, 100);
    EXPECT_TRUE(rec.Stop());
    EXPECT_EQ(ReadWav(path).samples, Ramp(kept + 100));
}

TEST_F(WaveIOTest, FailedWritesAnswerFalseAndFilesEndOnWholeFrames) {
    // A file size limit makes a write fail part-way, as a full disk would.
    const std::string path = Path("full.wav");
    ASSERT_TRUE(rec.Open(path.c_str(), 44100));
    rec.Start();
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 44 + 4096 + 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    FeedRamp(rec, 0, 4096, 1024);
    const bool stopped = rec.Stop();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(stopped);
    EXPECT_EQ(ReadWav(path).samples, Ramp(1024));

    // Feeding stops at the largest file; choosing another file finishes
    // the open one first.
    rec.maxRecordedBytes = 4000;
    ASSERT_TRUE(rec.Open(path.c_str(), 44100));
    rec.Start();
    FeedRamp(rec, 0, 3000, 512);
    struct Answer : os::OFileChooser {
        std::string path;
        std::optional<std::string> Choose(const os::FileChooserRequest&) override { return path; }
    } chooser;
    chooser.path = Path("next.wav");
    g_DlgFile.SetChooser(&chooser);
    EXPECT_TRUE(rec.ChooseFile());
    g_DlgFile.SetChooser(nullptr);
    EXPECT_EQ(ReadWav(path).samples, Ramp(1000));
    EXPECT_TRUE(rec.IsOpen());
    EXPECT_STREQ(rec.defaultPath, chooser.path.c_str());
}

TEST(WaveIOSynthTest, NoteRecordedThroughTheRenderIsInTuneAndSurvivesTheSynth) {
    testutil::TempFolder folder;
    auto* synth = new CSynth();
    synth->Resume();
    std::vector<float> left(512), right(512);
    float* outs[2] = {left.data(), right.data()};
    CWaveIO& rec = synth->editor->GetRecorder();
    // Closing the devices (the window going) finishes a recording.
    const std::string closed = folder / "closed.wav";
    ASSERT_TRUE(rec.Open(closed.c_str(), 44100));
    rec.Start();
    synth->Process(nullptr, outs, 512);
    synth->CloseDevices();
    EXPECT_EQ(ReadWav(closed).dataSize, 512u * 4);

    const std::string path = folder / "synth.wav";
    ASSERT_TRUE(rec.Open(path.c_str(), 44100));
    rec.Start();
    synth->ProcessMidiMessage(0x7F4590u, CMIDIQueue::ClockMs());
    for (int i = 0; i < 86; ++i) {  // about one second, drained by the editor's timer
        synth->Process(nullptr, outs, 512);
        if (i % 4 == 3)
            synth->editor->OnTimer();
    }
    // Deleting the synthesizer while it records leaves a complete file.
    delete synth;
    const WavRead w = ReadWav(path);
    ASSERT_EQ(w.info.frames, 86 * 512);
    EXPECT_EQ(w.dataSize, 86u * 512 * 4);
    std::vector<float> tail;
    for (size_t i = 22050; i < static_cast<size_t>(w.info.frames); ++i)
        tail.push_back(w.samples[2 * i] / 32767.0f);
    EXPECT_NEAR(MeasureFrequency(tail, 44100.0), 440.0, 1.0);
}
