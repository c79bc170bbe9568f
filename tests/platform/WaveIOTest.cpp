#include "platform/CWaveIO.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/CMIDIQueue.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "os/OFileChooser.h"
#include "platform/CDlgFile.h"
#include "tests/core/PitchMeasure.h"
#include "tests/os/TestFolders.h"

namespace {

struct WavRead {
    bool ok = false;
    SF_INFO info{};
    std::vector<int16_t> samples;  // interleaved
    uint32_t riffSize = 0, dataSize = 0;
};

uint32_t Le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return v;
}

WavRead ReadWav(const std::string& path) {
    WavRead r;
    const std::string bytes = testutil::ReadFile(path);
    if (bytes.size() >= 44) {
        r.riffSize = Le32(bytes, 4);
        r.dataSize = Le32(bytes, 40);
    }
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &r.info);
    if (!f)
        return r;
    r.samples.resize(static_cast<size_t>(r.info.frames * r.info.channels));
    r.ok = sf_read_short(f, r.samples.data(), static_cast<sf_count_t>(r.samples.size())) ==
           static_cast<sf_count_t>(r.samples.size());
    sf_close(f);
    return r;
}

// Frames whose left sample is the frame's index (modulo 16384) and whose
// right sample is its negation, so order and whole frames can be checked.
std::vector<float> Ramp(int32_t from, int32_t frames) {
    std::vector<float> x(2 * static_cast<size_t>(frames));
    for (int32_t i = 0; i < frames; ++i) {
        const float v = (static_cast<float>((from + i) % 16384) + 0.5f) / 32767.0f;
        x[2 * static_cast<size_t>(i)] = v;
        x[2 * static_cast<size_t>(i) + 1] = -v;
    }
    return x;
}

// Feeds frames in render-sized pieces, draining as the GUI timer would
// every drainEvery frames (0: never).
void FeedRamp(CWaveIO& rec, int32_t from, int32_t frames, int32_t drainEvery) {
    const std::vector<float> x = Ramp(from, frames);
    int32_t sinceDrain = 0;
    for (int32_t done = 0; done < frames;) {
        const int32_t n = std::min(512, frames - done);
        rec.Feed(x.data() + 2 * done, n);
        done += n;
        sinceDrain += n;
        if (drainEvery > 0 && sinceDrain >= drainEvery) {
            rec.Drain();
            sinceDrain = 0;
        }
    }
}

// Checks that the file holds the ramp frames from..from+count in order.
void ExpectRamp(const WavRead& w, int32_t from, int32_t count) {
    ASSERT_EQ(w.info.frames, count);
    for (int32_t i = 0; i < count; ++i) {
        const int16_t want = static_cast<int16_t>((from + i) % 16384);
        const size_t at = 2 * static_cast<size_t>(i);
        if (w.samples[at] != want || w.samples[at + 1] != -want) {
            ADD_FAILURE() << "frame " << i << " holds " << w.samples[at] << ", " << w.samples[at + 1]
                          << " instead of " << want;
            return;
        }
    }
}

class WaveIOTest : public testing::Test {
protected:
    std::string Path(const char* name) { return folder / name; }
    testutil::TempFolder folder;
    CWaveIO rec;
};

} // namespace

TEST_F(WaveIOTest, OneSecondGivesExactSizesTimeAndSaturatedSamples) {
    const std::string path = Path("take.wav");
    ASSERT_TRUE(rec.Open(path.c_str(), 44100));
    char text[64];
    rec.GetStatusText(text);
    EXPECT_STREQ(text, "not recording");
    rec.Start();
    std::vector<float> x = Ramp(0, 44100);
    // Beyond full scale saturates; NaN records silence.
    const float special[][2] = {{1.5f, -1.5f}, {std::numeric_limits<float>::quiet_NaN(), 1.0f},
                                {-1.0f, std::numeric_limits<float>::infinity()}};
    for (size_t i = 0; i < 3; ++i) {
        x[2 * (100 + i)] = special[i][0];
        x[2 * (100 + i) + 1] = special[i][1];
    }
    for (int32_t done = 0; done < 44100; done += 441) {
        rec.Feed(x.data() + 2 * done, 441);
        rec.Drain();
    }
    rec.GetStatusText(text);
    EXPECT_STREQ(text, "00:00:01.000");
    EXPECT_TRUE(rec.Stop());
    rec.GetStatusText(text);
    EXPECT_STREQ(text, "not recording");

    const WavRead w = ReadWav(path);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.info.channels, 2);
    EXPECT_EQ(w.info.samplerate, 44100);
    EXPECT_EQ(w.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(w.info.frames, 44100);
    EXPECT_EQ(w.dataSize, 176400u);
    EXPECT_EQ(w.riffSize, 176436u);
    const int16_t want[][2] = {{32767, -32767}, {0, 32767}, {-32767, 32767}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(w.samples[2 * (100 + i)], want[i][0]) << i;
        EXPECT_EQ(w.samples[2 * (100 + i) + 1], want[i][1]) << i;
    }
    EXPECT_EQ(w.samples[2 * 99], 99);
    EXPECT_EQ(w.samples[2 * 44099 + 1], -(44099 % 16384));
}

TEST_F(WaveIOTest, StatesAndCommandsWithoutAFile) {
    // Stop without a file answers false and leaves the flags alone.
    EXPECT_FALSE(rec.Stop());
    rec.TogglePause();
    EXPECT_FALSE(rec.IsPaused());
    EXPECT_FALSE(rec.IsRecording());
    char name[40];
    rec.GetFileName(name);
    EXPECT_STREQ(name, "record.wav");

    // A file that cannot be created leaves the recorder closed.
    const std::string bad = Path("missing/folder/x.wav");
    std::strcpy(rec.defaultPath, bad.c_str());
    rec.Start();
    EXPECT_FALSE(rec.IsRecording());
    EXPECT_FALSE(rec.IsOpen());

    // Long names are shown cut to 32 characters.
    const std::string longName = Path("a-rather-long-file-name-for-a-recording.wav");
    ASSERT_TRUE(rec.Open(longName.c_str(), 48000));
    rec.GetFileName(name);
    EXPECT_STREQ(name, "a-rather-long-file-name-for-a-re");
    EXPECT_EQ(std::string(rec.defaultPath), longName);

    // Pause, then Start again: recording, no longer paused.
    rec.Start();
    rec.TogglePause();
    EXPECT_TRUE(rec.IsPaused());
    EXPECT_FALSE(rec.IsRecording());
    char text[64];
    rec.GetStatusText(text);
    EXPECT_STREQ(text, "00:00:00.000");
    rec.Start();
    EXPECT_FALSE(rec.IsPaused());
    EXPECT_TRUE(rec.IsRecording());
    EXPECT_TRUE(rec.Stop());
    EXPECT_FALSE(rec.IsOpen());
}

TEST_F(WaveIOTest, NothingFedIsLostAtPauseOrStop) {
    const std::string path = Path("pause.wav");
    ASSERT_TRUE(rec.Open(path.c_str(), 44100));
    rec.Start();
    // Fed, then paused before the timer drained: written at the next drain.
    FeedRamp(rec, 0, 30000, 0);
    rec.TogglePause();
    rec.Drain();
    FeedRamp(rec, 30000, 1000, 0);  // paused: not recorded
    rec.TogglePause();
    // The writer wraps around the ring's end; stop writes both parts.
    FeedRamp(rec, 30000, 10000, 0);
    EXPECT_TRUE(rec.Stop());
    EXPECT_EQ(rec.GetLostFrames(), 0u);
    ExpectRamp(ReadWav(path), 0, 40000);
}

TEST_F(WaveIOTest, OverrunKeepsWholeFramesInOrderAndCountsTheRest) {
    const std::string path = Path("overrun.wav");
    ASSERT_TRUE(rec.Open(path.c_str(), 44100));
    rec.Start();
    // Never drained: the ring holds one frame less than its size.
    FeedRamp(rec, 0, 50000, 0);
    const int32_t kept = CWaveIO::kRingSamples / 2 - 1;
    EXPECT_EQ(rec.GetFramesRecorded(), static_cast<uint32_t>(kept));
    EXPECT_EQ(rec.GetLostFrames(), static_cast<uint32_t>(50000 - kept));
    // After a drain there is room again.
    rec.Drain();
    FeedRamp(rec, kept, 100, 0);
    EXPECT_TRUE(rec.Stop());
    ExpectRamp(ReadWav(path), 0, kept + 100);
}

TEST_F(WaveIOTest, FailedWritesAnswerFalseAndLeaveAReadableFile) {
    // A file size limit makes writes fail part-way, as a full disk would.
    const std::string path = Path("full.wav");
    ASSERT_TRUE(rec.Open(path.c_str(), 44100));
    rec.Start();
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 44 + 4002;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    FeedRamp(rec, 0, 4000, 1000);
    const bool stopped = rec.Stop();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(stopped);
    const WavRead w = ReadWav(path);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.dataSize, 4000u);  // the whole frames that made it
    ExpectRamp(w, 0, 1000);

    // The writer file alone: no file, no write.
    CWaveFile none;
    EXPECT_FALSE(none.Write("x", 1));
    EXPECT_FALSE(none.Close());
}

TEST_F(WaveIOTest, StopsFeedingAtTheLargestFileAndChoosingStopsTheOpenFile) {
    const std::string first = Path("first.wav");
    rec.maxRecordedBytes = 4000;
    ASSERT_TRUE(rec.Open(first.c_str(), 44100));
    rec.Start();
    FeedRamp(rec, 0, 3000, 512);
    EXPECT_EQ(rec.GetFramesRecorded(), 1000u);

    // Choosing a file while one is open finishes the open one first.
    struct Answer : os::OFileChooser {
        std::string path;
        std::optional<std::string> Choose(const os::FileChooserRequest&) override { return path; }
    } chooser;
    chooser.path = Path("second.wav");
    g_DlgFile.SetChooser(&chooser);
    const bool chose = rec.ChooseFile();
    g_DlgFile.SetChooser(nullptr);
    ASSERT_TRUE(chose);
    EXPECT_TRUE(rec.IsOpen());
    EXPECT_FALSE(rec.IsRecording());
    EXPECT_EQ(std::string(rec.defaultPath), chooser.path);
    ExpectRamp(ReadWav(first), 0, 1000);
}

TEST(WaveIOSynthTest, NoteRecordedThroughTheRenderIsInTuneAndSurvivesDeletingTheSynth) {
    testutil::TempFolder folder;
    const std::string path = folder / "synth.wav";
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
    EXPECT_FALSE(rec.IsOpen());
    EXPECT_EQ(ReadWav(closed).dataSize, 512u * 4);

    ASSERT_TRUE(rec.Open(path.c_str(), 44100));
    rec.Start();
    synth->ProcessMidiMessage(0x7F4590u, CMIDIQueue::ClockMs());
    for (int i = 0; i < 86; ++i) {  // about one second
        synth->Process(nullptr, outs, 512);
        if (i % 4 == 3)
            synth->editor->OnTimer();
    }
    // Deleting the synthesizer while it records leaves a complete file.
    delete synth;
    const WavRead w = ReadWav(path);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.info.frames, 86 * 512);
    EXPECT_EQ(w.dataSize, 86u * 512 * 4);
    std::vector<float> tail;
    for (size_t i = 22050; i < static_cast<size_t>(w.info.frames); ++i)
        tail.push_back(w.samples[2 * i] / 32767.0f);
    EXPECT_NEAR(MeasureFrequency(tail, 44100.0), 440.0, 1.0);
}
