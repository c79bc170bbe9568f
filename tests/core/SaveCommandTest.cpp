// Saving by command: a bank, a preset and a project written by the
// synthesizer read back into a fresh one with the same sound, mixer,
// globals, patterns and song; a write that fails keeps the old file and
// says "Error".
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/CSequencer.h"
#include "core/CSongList.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "os/OFileChooser.h"
#include "os/OMessageBox.h"
#include "platform/CDlgFile.h"
#include "platform/CGlobalData.h"
#include "tests/core/MidiFixture.h"
#include "tests/os/TestFolders.h"

namespace {

class FixedChooser : public os::OFileChooser {
public:
    std::optional<std::string> Choose(const os::FileChooserRequest&) override { return path; }
    std::string path;
};

// Both synthesizers take their file names from one chooser.
struct Choosing {
    explicit Choosing(CSynth& s, FixedChooser& c) : synth(s) {
        synth.program.GetFileDialog().SetChooser(&c);
        g_DlgFile.SetChooser(&c);
    }
    ~Choosing() {
        synth.program.GetFileDialog().SetChooser(nullptr);
        g_DlgFile.SetChooser(nullptr);
    }
    CSynth& synth;
};

// A record as the files keep it: the slots of the byte blocks as whole
// numbers 0..255.
std::vector<float> Stored(std::vector<float> record) {
    for (auto [first, last] : {std::pair{512, 1023}, std::pair{1600, 2079}})
        for (int i = first; i <= last; ++i)
            record[i] = std::round(std::clamp(record[i], 0.0f, 255.0f));
    return record;
}

std::vector<float> Record(CSynth& s, int slot, int program) {
    const float* r = s.program.GetProgramRecord(slot, program);
    return std::vector<float>(r, r + CProgram::kRecordSize);
}

class SaveCommandTest : public SynthFixture {
protected:
    std::string Path(const char* name) { return folder / name; }
    testutil::TempFolder folder;
    FixedChooser chooser;
};

} // namespace

TEST_F(SaveCommandTest, BankAndPresetReadBackTheSame) {
    synth->SelectPart(0, 1);
    synth->SetProgram(5);
    synth->ExecuteCommand(128, 0.0f);
    const int slot = synth->program.GetCurrentBankSlot();
    std::vector<std::vector<float>> records;
    for (int i = 0; i < CProgram::kPrograms; ++i)
        records.push_back(Record(*synth, slot, i));
    {
        Choosing choosing(*synth, chooser);
        chooser.path = Path("saved.qvb");
        synth->ExecuteCommand(106, 0.0f);
        chooser.path = Path("saved.fxp");
        synth->ExecuteCommand(129, 0.0f);
    }
    EXPECT_STREQ(synth->program.GetBankName(0), "saved");  // the header names the bank saved
    ASSERT_EQ(std::filesystem::file_size(Path("saved.qvb")), static_cast<uintmax_t>(CProgram::kBankFileBytes));

    auto fresh = std::make_unique<CSynth>();
    Choosing choosing(*fresh, chooser);
    chooser.path = Path("saved.qvb");
    fresh->ExecuteCommand(132, 0.0f);
    const int freshSlot = fresh->program.GetCurrentBankSlot();
    for (int i = 0; i < CProgram::kPrograms; ++i)
        ASSERT_EQ(Record(*fresh, freshSlot, i), Stored(records[i])) << "program " << i;

    // The preset lands on the fresh synthesizer's current program (which
    // holds another sound first).
    fresh->SetProgram(9);
    chooser.path = Path("saved.fxp");
    fresh->ExecuteCommand(131, 0.0f);
    std::vector<float> loaded = Record(*fresh, freshSlot, 9);
    std::vector<float> saved = Stored(records[5]);
    // Slot 1024 is cleared by every preset load.
    loaded[1024] = saved[1024] = 0.0f;
    EXPECT_EQ(loaded, saved);
}

TEST_F(SaveCommandTest, ProjectReadsBackTheSame) {
    synth->SetMixerParameter(3 << 10 | 2, 77.0f / 128.0f);
    synth->SetMixerParameter(5 << 10 | 3, 20.0f / 128.0f);
    synth->SetGlobalParameter(7, 0.25f);
    CSequencer& seq = *synth->sequencer;
    seq.SetSelection(2, 3, 4);
    seq.SetStepValue(0, CSequencer::kFieldNote, 7, 99);
    seq.SetStepValue(4, CSequencer::kFieldFunction, 0, 2);
    seq.tempo = 133.5f;
    seq.swing = 12.0f;
    synth->songList->SetCell(6, 9, 300, -5);
    synth->songList->SetEnd(20);

    // Saved at 48000 Hz.
    synth->ExecuteCommand(99, 2.0f / 128.0f);
    {
        Choosing choosing(*synth, chooser);
        chooser.path = Path("song.qzp");
        synth->ExecuteCommand(103, 0.0f);
    }
    synth->SetSampleRate(44100.0f);
    ASSERT_EQ(std::filesystem::file_size(Path("song.qzp")),
              static_cast<uintmax_t>(CProgram::ProjectFileBytes(31)));

    // Read by a synthesizer without a device (suspended), at 44100 Hz: it
    // stays suspended and switches to the project's rate, tempo tables
    // included.
    auto fresh = std::make_unique<CSynth>();
    fresh->Suspend();
    Choosing choosing(*fresh, chooser);
    chooser.path = Path("song.qzp");
    fresh->ExecuteCommand(109, 0.0f);
    EXPECT_TRUE(fresh->IsSuspended());
    EXPECT_EQ(g_GlobalData.sampleRate, 48000);
    EXPECT_FLOAT_EQ(fresh->sequencer->samplesPerTick, 48000.0f * 60.0f / (133.5f * 96.0f));
    fresh->SetSampleRate(44100.0f);
    for (int p = 0; p < CSynth::kParts; ++p) {
        const float* a = synth->program.GetProgramData(p);
        const float* b = fresh->program.GetProgramData(p);
        ASSERT_TRUE(a && b);
        ASSERT_EQ(Stored(std::vector<float>(a, a + CProgram::kRecordSize)), std::vector<float>(b, b + CProgram::kRecordSize))
            << "part " << p;
        // Field 15 of the part table is where the project keeps the part's
        // program number.
        EXPECT_EQ(fresh->program.GetPartProgramNumber(p), synth->program.GetPartProgramNumber(p));
        for (int id = 0; id < 15; ++id)
            EXPECT_EQ(fresh->GetMixerParameter(p << 10 | id), synth->GetMixerParameter(p << 10 | id))
                << "part " << p << " mixer " << id;
    }
    for (int g = 0; g < CProgram::kGlobalFields; ++g)
        EXPECT_EQ(fresh->GetGlobalParameter(g), synth->GetGlobalParameter(g)) << "global " << g;
    std::vector<uint8_t> a(CSequencer::kProjectSectionSize + CSongList::kProjectSectionSize);
    std::vector<uint8_t> b(a.size());
    synth->sequencer->WriteProject(a.data());
    fresh->sequencer->WriteProject(b.data());
    EXPECT_EQ(a, b);
    EXPECT_EQ(fresh->sequencer->tempo, 133.5f);
    EXPECT_EQ(fresh->songList->GetCellTranspose(6, 9), -5);
}

TEST_F(SaveCommandTest, AFailedWriteKeepsTheOldFileAndSaysError) {
    std::vector<std::string> boxes;
    std::string said;  // a box waits for a click: the sound must not be held meanwhile
    auto previous = os::SetMessageBoxHook([&](const char* text, const char* title) {
        boxes.push_back(title + std::string(synth->IsSuspended() ? " held" : "")), said = text;
    });
    Choosing choosing(*synth, chooser);
    // A folder in place of the file: the rename over it fails.
    std::filesystem::create_directory(Path("taken.qvb"));
    chooser.path = Path("taken.qvb");
    const std::string bank = synth->program.GetBankName(0);
    synth->ExecuteCommand(106, 0.0f);
    EXPECT_EQ(synth->program.GetBankName(0), bank);
    // A file in place of the folder.
    chooser.path = Path("taken.qvb/inside/x.fxp");
    synth->ExecuteCommand(129, 0.0f);
    chooser.path = Path("taken.qvb");
    synth->ExecuteCommand(133, 0.0f);  // a new bank
    // Two multi-samples of a project that cannot be written: one box.
    CMultiSample& one = synth->engine.MultiSample(0, 0);
    CMultiSample& two = synth->engine.MultiSample(3, 2);
    testutil::ScopedValue clean1(one.dirty), clean2(two.dirty);
    ASSERT_TRUE(one.New(Path("taken.qvi").c_str()) && two.New(Path("held.qvi").c_str()));
    std::filesystem::create_directory(Path("taken.qvi"));
    std::filesystem::create_directory(Path("held.qvi"));
    chooser.path = Path("song.qzp");
    synth->ExecuteCommand(103, 0.0f);
    os::SetMessageBoxHook(previous);
    EXPECT_EQ(boxes, (std::vector<std::string>{"Error", "Error", "Error", "Error"}));
    EXPECT_NE(said.find("taken.qvi\": a folder of that name is in its place.\nCannot write \"" + Path("held.qvi")),
              std::string::npos) << said;
    for (const char* made : {"song.qzp", "taken_s", "held_s", "taken.qvi", "held.qvi"})
        std::filesystem::remove(Path(made));
    EXPECT_TRUE(std::filesystem::is_directory(Path("taken.qvb")));
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder.Path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1) << "no temporary file left behind";
}

// Bank, preset and project saves onto a write-protected file, through a
// symbolic link, onto a full disk and into a write-protected folder: the
// old file stays whole and an "Error" box says why, or the file the link
// names takes the save and keeps its mode. As root nothing of this stops
// a write: the modes are the program's own check.
TEST_F(SaveCommandTest, SavesKeepTheOldFileOrWriteThroughALinkAndSayWhy) {
    namespace fs = std::filesystem;
    std::vector<std::string> boxes;
    auto previous = os::SetMessageBoxHook(
        [&](const char* text, const char* title) { boxes.push_back(std::string(title) + ": " + text); });
    Choosing choosing(*synth, chooser);
    enum Target { kProtectedFile, kLink, kFullDisk, kProtectedFolder };
    const struct {
        Target target;
        const char* said;  // in the box; none: no box
    } targets[] = {{kProtectedFile, "the file is write-protected. The old file is kept."},
                   {kLink, nullptr},
                   {kFullDisk, "No space left on device. The old file is kept."},
                   {kProtectedFolder, "is write-protected. The old file is kept."}};
    const struct {
        int command;
        const char* name;
    } saves[] = {{106, "bank.qvb"}, {129, "preset.fxp"}, {103, "project.qzp"}};
    const std::string old = "the user's old file";
    for (const auto& save : saves)
        for (const auto& t : targets) {
            SCOPED_TRACE(std::string(save.name) + " target " + std::to_string(t.target));
            testutil::TempFolder dir;
            const std::string folder = t.target == kProtectedFolder ? dir / "locked" : dir.Path();
            fs::create_directories(folder);
            const std::string file = folder + "/" + save.name;
            testutil::WriteFile(file, old);
            fs::permissions(file, fs::perms(t.target == kProtectedFile ? 0444 : 0640));
            chooser.path = file;
            if (t.target == kLink) {
                chooser.path = dir / "link";
                fs::create_symlink(save.name, chooser.path);
            }
            if (t.target == kProtectedFolder) fs::permissions(folder, fs::perms(0555));
            std::optional<testutil::ScopedWriteFault> full;
            if (t.target == kFullDisk) full.emplace(ENOSPC);
            boxes.clear();
            synth->ExecuteCommand(save.command, 0.0f);
            full.reset();
            fs::permissions(folder, fs::perms(0755));
            const std::string now = testutil::ReadFile(file);
            EXPECT_EQ(fs::status(file).permissions(), fs::perms(t.target == kProtectedFile ? 0444 : 0640));
            if (!t.said) {
                EXPECT_TRUE(boxes.empty()) << boxes[0];
                EXPECT_TRUE(fs::is_symlink(chooser.path));
                EXPECT_GT(now.size(), old.size());
                EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2) << "a link and its file";
                continue;
            }
            EXPECT_EQ(now, old);
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].rfind("Error: Cannot write \"" + file + "\": ", 0), 0u) << boxes[0];
            EXPECT_NE(boxes[0].find(t.said), std::string::npos) << boxes[0];
            EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1) << "no temporary file left";
        }
    os::SetMessageBoxHook(previous);
}

// With no file chooser installed each action that needs a file says so, by
// its own name, however many came before it; nothing is read or written.
TEST_F(SaveCommandTest, WithoutZenityEveryFileActionSaysSo) {
    testutil::TempFolder noPrograms;
    testutil::ScopedEnv path("PATH", noPrograms.Path());
    std::vector<std::string> told;
    os::MessageBoxHook previous =
        os::SetMessageBoxHook([&](const char* text, const char*) { told.emplace_back(text); });
    const std::string bankBefore = synth->program.GetCurrentBankName();
    struct Action {
        const char* what;  // the words its message starts with
        std::function<void()> run;
    };
    const std::vector<Action> actions = {
        {"Load bank from file", [&] { synth->ExecuteCommand(132, 0.0f); }},
        {"Save bank to file", [&] { synth->ExecuteCommand(130, 0.0f); }},
        {"Save preset to file", [&] { synth->ExecuteCommand(129, 0.0f); }},
        {"Load preset from file", [&] { synth->ExecuteCommand(131, 0.0f); }},
        {"Save project to file", [&] { synth->ExecuteCommand(103, 0.0f); }},
        {"Open project from file", [&] { synth->ExecuteCommand(109, 0.0f); }},
        {"Record to file", [&] { synth->editor->SetValue(54, 0, 0.0f); }},
        {"Open Multisample", [&] { synth->editor->SetSampleValue(1, 0, 0.0f); }},
        {"New Multisample", [&] { synth->editor->SetSampleValue(2, 0, 0.0f); }},
    };
    for (const Action& a : actions) {
        told.clear();
        a.run();
        ASSERT_EQ(told.size(), 1u) << a.what;
        EXPECT_EQ(told[0].rfind(a.what, 0), 0u) << told[0];
        EXPECT_NE(told[0].find("zenity"), std::string::npos) << told[0];
    }
    os::SetMessageBoxHook(previous);
    EXPECT_EQ(synth->program.GetCurrentBankName(), bankBefore);
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

namespace {

// Writes the bank of slot 0 as a file whose first `named` programs carry a
// name (and so a sound of their own) and the rest are "new program",
// program 3 sounding unlike slot 0's.
void WriteOtherBank(CSynth& s, const std::string& path, int named) {
    std::vector<uint8_t> image;
    s.program.BuildBankImage(image);
    constexpr size_t kProgramBytes =
        CProgram::kNameSize + CProgram::kStoredRecordBytes + CProgram::kLabelBytes + CProgram::kSampleBytes;
    for (int i = 0; i < CProgram::kPrograms; ++i) {
        char* name = reinterpret_cast<char*>(image.data() + CProgram::kHeaderBytes + i * kProgramBytes);
        std::memset(name, 0, CProgram::kNameSize);
        if (i < named)
            std::snprintf(name, CProgram::kNameSize, "Other %d", i);
        else
            std::snprintf(name, CProgram::kNameSize, "new program");
    }
    // Slot 20 (volume) of program 3, the first float block.
    uint8_t* volume = image.data() + CProgram::kHeaderBytes + 3 * kProgramBytes + CProgram::kNameSize + 20 * 4;
    const float quiet = 11.0f;
    std::memcpy(volume, &quiet, 4);
    testutil::WriteFile(path, std::string(image.begin(), image.end()));
}

} // namespace

TEST_F(SaveCommandTest, PartsPlayingOneProgramNumberOfTwoBanksKeepBothSounds) {
    auto first = std::make_unique<CSynth>();
    first->Suspend();
    CSynth& s = *first;
    WriteOtherBank(s, Path("other.qvb"), 100);
    // Part 0 on a bank slot of its own (program 3), part 3 on the factory
    // bank's program 3.
    s.SelectPart(0, 1);
    ASSERT_TRUE(s.program.ReadBank(Path("other.qvb").c_str(), "Other"));
    ASSERT_NE(s.program.GetPartBankSlot(0), s.program.GetPartBankSlot(3));
    s.SetProgram(3);
    s.SelectPart(3, 1);
    s.SetProgram(3);
    ASSERT_EQ(s.program.GetProgramData(0)[20], 11.0f);
    ASSERT_NE(s.program.GetProgramData(3)[20], 11.0f);
    std::vector<std::vector<float>> sounds;
    for (int p = 0; p < CSynth::kParts; ++p) {
        const float* r = s.program.GetProgramData(p);
        sounds.push_back(Stored(std::vector<float>(r, r + CProgram::kRecordSize)));
    }
    Choosing choosing(s, chooser);
    chooser.path = Path("two.qzp");
    s.ExecuteCommand(103, 0.0f);

    auto fresh = std::make_unique<CSynth>();
    fresh->Suspend();
    Choosing reading(*fresh, chooser);
    fresh->ExecuteCommand(109, 0.0f);
    for (int p = 0; p < CSynth::kParts; ++p) {
        const float* r = fresh->program.GetProgramData(p);
        ASSERT_TRUE(r);
        EXPECT_EQ(std::vector<float>(r, r + CProgram::kRecordSize), sounds[p]) << "part " << p;
    }
    EXPECT_EQ(fresh->program.GetPartProgramNumber(0), 3);
    // Every program of part 0's bank is in the project as it was.
    for (int i = 0; i < 100; ++i) {
        char name[CProgram::kNameSize];
        fresh->program.CopyProgramName(i, name);
        EXPECT_EQ(std::string(name), "Other " + std::to_string(i));
    }
}

TEST_F(SaveCommandTest, AProjectWithNoPlaceLeftForAPartsSoundSaysErrorAndKeepsTheOldFile) {
    auto first = std::make_unique<CSynth>();
    first->Suspend();
    CSynth& s = *first;
    WriteOtherBank(s, Path("other.qvb"), CProgram::kPrograms);
    s.SelectPart(0, 1);
    ASSERT_TRUE(s.program.ReadBank(Path("other.qvb").c_str(), "Other"));
    s.SetProgram(3);
    testutil::WriteFile(Path("old.qzp"), "old");
    std::vector<std::string> boxes;
    auto previous = os::SetMessageBoxHook([&](const char*, const char* title) { boxes.push_back(title); });
    Choosing choosing(s, chooser);
    chooser.path = Path("old.qzp");
    // Part 0's bank has no "new program" left: the factory programs the
    // other parts play have nowhere to go.
    s.ExecuteCommand(103, 0.0f);
    os::SetMessageBoxHook(previous);
    EXPECT_EQ(boxes, std::vector<std::string>{"Error"});
    EXPECT_EQ(testutil::ReadFile(Path("old.qzp")), "old");
}

TEST_F(SaveCommandTest, AMutedPartIsMutedAfterTheProjectIsReadBack) {
    auto first = std::make_unique<CSynth>();
    first->Suspend();
    CSynth& s = *first;
    // Muted through the mixer's command, saved at 48000 Hz and read by a
    // synthesizer at 44100 Hz, so that the rate change applies every
    // program again as well.
    s.SelectPart(2, 1);
    s.ExecuteCommand(174, 1.0f / 128.0f);
    s.SelectPart(6, 1);
    s.ExecuteCommand(174, 1.0f / 128.0f);
    s.ExecuteCommand(174, 0.0f);
    s.ExecuteCommand(99, 2.0f / 128.0f);
    Choosing choosing(s, chooser);
    chooser.path = Path("muted.qzp");
    s.ExecuteCommand(103, 0.0f);

    auto fresh = std::make_unique<CSynth>();
    fresh->Suspend();
    fresh->SetSampleRate(44100.0f);
    Choosing reading(*fresh, chooser);
    fresh->ExecuteCommand(109, 0.0f);
    for (int p = 0; p < CSynth::kParts; ++p) {
        fresh->SelectPart(p, 1);
        const bool muted = p == 2;
        EXPECT_EQ(fresh->GetCommandValue(174) != 0.0f, muted) << "part " << p;
        EXPECT_EQ(fresh->engine.data.SettingI(p, CEngineData::kSetMute) != 0, muted) << "part " << p;
    }
    fresh->SetSampleRate(44100.0f);
}

// A fresh start, its project read back and the master and part level knobs
// set to what they show: the engine plays one mix all along, the one the
// program has always started with (part and master gains multiplying to 1).
TEST_F(SaveCommandTest, AStartAndItsProjectReadBackPlayOneMix) {
    auto first = std::make_unique<CSynth>();
    CSynth& s = *first;
    s.Suspend();
    auto mix = [&] {
        const CEngineData& d = s.engine.data;
        std::vector<float> m(d.globalTargets + 6, d.globalTargets + 10);
        for (int p = 0; p < CSynth::kParts; ++p) m.insert(m.end(), d.partMixerTargets[p], d.partMixerTargets[p] + 4);
        return m;
    };
    const std::vector<float> start = mix();
    EXPECT_NEAR(start[0] * start[6], 1.0f, 1e-4f);
    char text[32];
    s.GetGlobalParameterDisplay(6, text);
    EXPECT_STREQ(text, "  +0 dB");
    Choosing choosing(s, chooser);
    chooser.path = Path("start.qzp");
    s.ExecuteCommand(103, 0.0f);
    s.ExecuteCommand(109, 0.0f);
    EXPECT_EQ(mix(), start) << "read back";
    s.SetGlobalParameter(6, s.GetGlobalParameter(6));
    s.SetMixerParameter(2, s.GetMixerParameter(2));
    EXPECT_EQ(mix(), start) << "knobs touched";
}

// The multi-samples of a project are written with the engine held: no render
// call from the first file written to the last one makes a sound.
TEST_F(SaveCommandTest, TheMultiSamplesOfAProjectAreWrittenWithTheEngineHeld) {
    auto owned = std::make_unique<CSynth>();
    CSynth& s = *owned;
    std::vector<std::string> files;
    for (int part = 0; part < CSynth::kParts; ++part) {
        files.push_back(Path(("part" + std::to_string(part) + ".qvi").c_str()));
        ASSERT_TRUE(s.engine.MultiSample(part, 1).New(files.back().c_str()));
    }
    s.Resume();
    s.ProcessMidiMessage(0x90 | 48 << 8 | 100 << 16, 0);
    std::atomic<bool> stop{false};
    int between = 0, heard = 0;
    std::thread audio([&] {
        std::vector<float> l, r;
        while (!stop.load()) {
            const bool afterFirst = std::filesystem::exists(files.front());
            RenderInto(s, 256, l, r);
            if (afterFirst && !std::filesystem::exists(files.back())) {
                ++between;
                heard += std::any_of(l.begin(), l.end(), [](float v) { return v != 0.0f; }) ? 1 : 0;
            }
        }
    });
    Choosing choosing(s, chooser);
    chooser.path = Path("held.qzp");
    s.ExecuteCommand(103, 0.0f);
    stop.store(true);
    audio.join();
    EXPECT_TRUE(std::filesystem::exists(files.back()));
    EXPECT_EQ(heard, 0) << "of " << between << " render calls";
}
