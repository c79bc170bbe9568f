#include "os/OFileChooser.h"
#include "os/OMessageBox.h"
#include "os/OWindow.h"

#include "os/TestFolders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

os::FileChooserRequest Sample()
{
    os::FileChooserRequest r;
    r.title = "Open sample...";
    r.filters = {{"Windows PCM (*.wav)", "*.wav"},
                 {"Apple AIFF (*.aif; *.snd)", "*.aif;*.aiff;*.snd"}};
    r.defaultExtension = "wav";
    r.startFolder = "/home/u/Project";
    r.initialName = "/old/place/take1.wav";
    r.overwritePrompt = true;
    return r;
}

bool Has(const std::vector<std::string>& args, const std::string& a)
{
    return std::find(args.begin(), args.end(), a) != args.end();
}

} // namespace

TEST(OFileChooser, ZenityArguments)
{
    os::FileChooserRequest r = Sample();
    std::vector<std::string> open = os::OZenityChooser::Arguments(r);
    EXPECT_EQ(open[0], "--file-selection");
    EXPECT_TRUE(Has(open, "--title=Open sample..."));
    EXPECT_FALSE(Has(open, "--save"));
    EXPECT_FALSE(Has(open, "--confirm-overwrite"));
    // The start folder wins over the folder of the last choice.
    EXPECT_TRUE(Has(open, "--filename=/home/u/Project/take1.wav"));
    EXPECT_TRUE(Has(open, "--file-filter=Windows PCM (*.wav) | *.wav"));
    EXPECT_TRUE(Has(open, "--file-filter=Apple AIFF (*.aif; *.snd) | *.aif *.aiff *.snd"));

    r.save = true;
    r.initialName.clear();
    r.startFolder = "/home/u/Project/";
    std::vector<std::string> save = os::OZenityChooser::Arguments(r);
    EXPECT_TRUE(Has(save, "--save"));
    EXPECT_TRUE(Has(save, "--confirm-overwrite"));
    EXPECT_TRUE(Has(save, "--filename=/home/u/Project/"));
}

TEST(OFileChooser, DefaultExtensionIsAddedToBareNames)
{
    testutil::TempFolder tmp;
    os::FileChooserRequest r = Sample();
    r.save = true;
    EXPECT_EQ(os::ApplyDefaultExtension("/a.b/take", r), "/a.b/take.wav");
    EXPECT_EQ(os::ApplyDefaultExtension("/a/take.WAV", r), "/a/take.WAV");
    // Only an offered extension is one; any other dot is part of the name.
    for (const char* name : {"/a/Mr. Bass", "Take 1.2", "x.fxp", "a.wav.bak", ".wav"})
        EXPECT_EQ(os::ApplyDefaultExtension(name, r), name + std::string(".wav"));
    for (const char* name : {"v1.2.AIFF", "/a/x.snd", "y.Wav"})
        EXPECT_EQ(os::ApplyDefaultExtension(name, r), name);
    EXPECT_EQ(os::ApplyDefaultExtension("", r), "");
    // Opening a bare name that exists opens that file.
    testutil::WriteFile(tmp / "bare", "x");
    r.save = false;
    EXPECT_EQ(os::ApplyDefaultExtension(tmp / "bare", r), tmp / "bare");
    EXPECT_EQ(os::ApplyDefaultExtension(tmp / "missing", r), tmp / "missing.wav");
    r.defaultExtension.clear();
    EXPECT_EQ(os::ApplyDefaultExtension(tmp / "missing", r), tmp / "missing");
}

TEST(OFileChooser, WithoutZenityEveryRequestIsCancelledAndSaysWhy)
{
    testutil::TempFolder empty;
    testutil::ScopedEnv path("PATH", empty.Path());
    int shown = 0;
    std::string text;
    os::MessageBoxHook previous = os::SetMessageBoxHook([&](const char* t, const char*) {
        ++shown;
        text = t;
    });
    os::OZenityChooser chooser;
    EXPECT_FALSE(chooser.Choose(Sample()).has_value());
    EXPECT_FALSE(chooser.Choose(Sample()).has_value());
    os::SetMessageBoxHook(previous);
    EXPECT_EQ(shown, 2);
    EXPECT_NE(text.find("zenity"), std::string::npos);
    EXPECT_EQ(text.rfind("Open sample: no file chooser", 0), 0u) << text;
}

TEST(OFileChooser, ZenityAnswerAndCancelAreReadFromTheChildProcess)
{
    // A stand-in zenity: answers a bare name, or exits 1 (cancel) when the
    // title says so, and records the settings backend it was given. Asked
    // whether to replace a file, it says no once, then yes.
    testutil::TempFolder tmp;
    std::string script = "#!/bin/sh\n"
                         "echo \"$GSETTINGS_BACKEND\" > '" + (tmp / "env.txt") + "'\n"
                         "echo \"$1\" >> '" + (tmp / "asked") + "'\n"
                         "for a; do case \"$a\" in --filename=*) echo \"$a\" > '" + (tmp / "offered") + "';; esac; done\n"
                         "if [ \"$1\" = --question ]; then [ -e '" + (tmp / "no") + "' ] || { : > '" + (tmp / "no") + "'; exit 1; }; exit 0; fi\n"
                         "case \"$2\" in *Cancel*) exit 1;; *Whole*) echo '" + (tmp / "chosen.wav") + "'; exit 0;; *Wait*) echo $$ > '" + (tmp / "pid") + "'; exec /bin/sleep 60;; esac\n"
                         "echo '" + (tmp / "chosen") + "'\n";
    testutil::WriteFile(tmp / "zenity", script);
    chmod((tmp / "zenity").c_str(), 0755);
    testutil::ScopedEnv path("PATH", tmp.Path());

    os::OZenityChooser chooser;
    int pumped = 0;
    chooser.SetPump([&] { ++pumped; });
    os::FileChooserRequest r = Sample();
    r.save = true;
    auto answer = chooser.Choose(r);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, tmp / "chosen.wav");
    EXPECT_EQ(testutil::ReadFile(tmp / "env.txt"), "memory\n");
    EXPECT_GE(pumped, 1);
    EXPECT_EQ(testutil::ReadFile(tmp / "asked"), "--file-selection\n");

    // The name typed had no extension, so zenity could not know the file it
    // replaces: "no" goes back to the chooser, "yes" takes it.
    testutil::WriteFile(tmp / "chosen.wav", "RIFF");
    std::remove((tmp / "asked").c_str());
    answer = chooser.Choose(r);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, tmp / "chosen.wav");
    EXPECT_EQ(testutil::ReadFile(tmp / "asked"), "--file-selection\n--question\n--file-selection\n--question\n");
    EXPECT_EQ(testutil::ReadFile(tmp / "offered"), "--filename=" + (tmp / "chosen.wav") + "\n");  // after "no"
    // A name typed with its extension zenity asked about itself: once.
    r.title = "Whole name";
    std::remove((tmp / "asked").c_str());
    EXPECT_EQ(chooser.Choose(r), tmp / "chosen.wav");
    EXPECT_EQ(testutil::ReadFile(tmp / "asked"), "--file-selection\n");

    r.title = "Cancel me";
    EXPECT_FALSE(chooser.Choose(r).has_value());

    // SIGTERM while the chooser waits for the user: zenity goes at once and
    // the answer is a cancel. A stop lasts to the end of its process: a
    // child process takes it.
    r.title = "Wait";
    const pid_t child = fork();
    if (child == 0) {
        alarm(20);  // a chooser that outlives the stop ends here
        os::OWindow::InstallStopSignals();
        chooser.SetPump([&] {
            if (!testutil::ReadFile(tmp / "pid").empty()) kill(getpid(), SIGTERM);
        });
        _exit(chooser.Choose(r).has_value() ? 2 : 0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the chooser outlived the stop";
    const pid_t zenity = std::atoi(testutil::ReadFile(tmp / "pid").c_str());
    ASSERT_GT(zenity, 0);
    EXPECT_NE(kill(zenity, 0), 0) << "zenity is still running";
    kill(zenity, SIGKILL);
}
