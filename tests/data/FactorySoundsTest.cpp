// The factory content as the build wrote it into the program folder: every
// template and factory program played through the synthesizer, the bank and
// the presets read back against the description they were made from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <sstream>
#include <vector>

#include "core/CSynth.h"
#include "os/OPath.h"
#include "os/TestFolders.h"
#include "platform/CGlobalData.h"
#include "tools/SoundDescription.h"

namespace fs = std::filesystem;

namespace {

// The build writes the content beside the programs, test programs included.
fs::path BuildFolder() {
    char folder[1024] = {};
    os::ExecutableFolder(folder, sizeof folder);
    return folder;
}

const sounds::Description& Sounds() {
    static const sounds::Description d = sounds::ParseFile((BuildFolder() / "FactorySounds.txt").string());
    return d;
}

// What one note did: level and pitch while held, time to silence after it.
struct Measure {
    bool finite = true;
    double peak = 0.0;
    double rmsDb = -200.0;
    double frequency = 0.0;  // the period that repeats best, as a frequency
    bool repeatsAsA = false;
    double releaseSeconds = -1.0;  // -1: still sounding at the limit
    double stereo = 1.0;           // correlation of left and right while held: 1 mono
};

// Normalised autocorrelation of a stretch of sound at a (fractional) lag.
// Read through a pointer: unoptimised, every operator[] is a call.
double Correlation(const std::vector<float>& sound, size_t from, size_t length, double lag) {
    const float* x = sound.data();
    const size_t whole = static_cast<size_t>(lag);
    const double part = lag - static_cast<double>(whole);
    double xy = 0.0, xx = 0.0, yy = 0.0;
    for (size_t n = from; n < from + length; ++n) {
        const double y = x[n + whole] * (1.0 - part) + x[n + whole + 1] * part;
        xy += x[n] * y;
        xx += x[n] * x[n];
        yy += y * y;
    }
    return xx > 0.0 && yy > 0.0 ? xy / std::sqrt(xx * yy) : 0.0;
}

// Whether a stretch of sound repeats with the period of an A (110 to
// 3520 Hz) about as well as with any period at all: a sound at 440 Hz or
// one of its octaves does, one a fifth or a third away does not.
bool RepeatsAsAnA(const std::vector<float>& x, size_t from, size_t length, double rate, double* bestHz) {
    const int minLag = 12, maxLag = 900;
    if (from + length + maxLag + 2 > x.size()) return false;
    double best = 0.0;
    for (int lag = minLag; lag <= maxLag; ++lag) {
        const double r = Correlation(x, from, length, lag);
        if (r > best) best = r, *bestHz = rate / lag;
    }
    double atA = 0.0;
    for (double hz = 110.0; hz <= 3520.0; hz *= 2.0) atA = std::max(atA, Correlation(x, from, length, rate / hz));
    return best >= 0.5 && atA >= 0.9 * best;
}

// The seconds a program's amplitude envelope takes after the key is let go
// to fall by 90 dB, from full scale to where a voice counts as silent: 3.6 s
// at a release of 100, twice as long for every 7.53 more (the release and
// the "EG times" value add).
double ReleaseSeconds(const float* record) {
    return 3.6 * std::pow(2.0, (record[189] + record[338] - 100.0) / 7.529411764705882);
}

class FactorySoundsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The program folder of the tests is a fresh temporary one: the
        // synthesizer finds the content there as on a fresh install.
        const fs::path to = testutil::TestFolder();
        std::error_code ec;
        fs::create_directories(to / "Bank", ec);
        fs::copy_file(BuildFolder() / "Bank" / "ZavoFactory.qvb", to / "Bank" / "ZavoFactory.qvb",
                      fs::copy_options::overwrite_existing, ec);
        for (int t = 0; t < CProgram::kSynthTypes; ++t)
            fs::copy_file(BuildFolder() / CProgram::TemplateFileName(t), to / CProgram::TemplateFileName(t),
                          fs::copy_options::overwrite_existing, ec);
        fs::copy(BuildFolder() / "Presets", to / "Presets",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
        s_synth = new CSynth();
        s_synth->Resume();
    }
    static void TearDownTestSuite() {
        delete s_synth;
        s_synth = nullptr;
    }

    void Note(int status) { synth().ProcessMidiMessage(static_cast<uint32_t>(status | 69 << 8 | 100 << 16), 0); }

    bool PartSounding() const {
        const CEngineData& d = s_synth->engine.data;
        for (int v = 0; v < d.voicesInUse; ++v)
            if (d.voicePart[v] == 0 && d.voiceState[v] < CEngineData::kVoiceFree) return true;
        return false;
    }

    // Plays note 69 for two seconds and lets it go; listens until the part
    // is silent or `limit` seconds after the release.
    Measure Play(double limit) {
        Measure m;
        const int rate = g_GlobalData.sampleRate;
        const int chunk = 1024;
        std::vector<float> l(chunk), r(chunk), mono;
        float* outs[2] = {l.data(), r.data()};
        double lr = 0.0, ll = 0.0, rr = 0.0;
        auto render = [&](bool keep) {
            synth().Process(nullptr, outs, chunk);
            double sum = 0.0;
            for (int i = 0; i < chunk; ++i) {
                if (keep) {
                    lr += static_cast<double>(l[i]) * r[i];
                    ll += static_cast<double>(l[i]) * l[i];
                    rr += static_cast<double>(r[i]) * r[i];
                }
                m.finite = m.finite && std::isfinite(l[i]) && std::isfinite(r[i]);
                m.peak = std::max({m.peak, std::fabs(double{l[i]}), std::fabs(double{r[i]})});
                sum += static_cast<double>(l[i]) * l[i] + static_cast<double>(r[i]) * r[i];
                if (keep) mono.push_back(0.5f * (l[i] + r[i]));
            }
            return sum / (2.0 * chunk);
        };
        Note(0x90);
        double energy = 0.0;
        const int held = 2 * rate / chunk;
        for (int c = 0; c < held; ++c) energy += render(true);
        m.rmsDb = 10.0 * std::log10(std::max(energy / held, 1e-20));
        m.stereo = ll > 0.0 && rr > 0.0 ? lr / std::sqrt(ll * rr) : 1.0;
        // The loudest of four stretches while the key is held.
        size_t best = 0;
        double bestEnergy = -1.0;
        const size_t length = 4096;
        for (double at : {0.1, 0.5, 1.0, 1.4}) {
            const size_t from = static_cast<size_t>(at * rate);
            double e = 0.0;
            for (size_t n = from; n < from + length && n < mono.size(); ++n) e += mono[n] * mono[n];
            if (e > bestEnergy) bestEnergy = e, best = from;
        }
        m.repeatsAsA = RepeatsAsAnA(mono, best, length, rate, &m.frequency);
        Note(0x80);
        const int most = static_cast<int>(limit * rate / chunk) + 1;
        for (int c = 0; c < most; ++c) {
            const double power = render(false);
            if (!PartSounding() && power < 1e-6) {
                m.releaseSeconds = static_cast<double>(c) * chunk / rate;
                break;
            }
        }
        // Nothing left over for the next program.
        Note(0xB0 | 120 << 8);
        for (int c = 0; c < 8; ++c) render(false);
        return m;
    }

    static CSynth& synth() { return *s_synth; }
    static inline CSynth* s_synth = nullptr;
};

bool Pitched(const sounds::Sound& s) {
    const std::string c = s.isTemplate ? "" : sounds::kCategories[s.category - 1];
    return c != "Drum" && c != "Inharmonic" && c != "FX";
}

// How long a released note may sound: its release with some room for the
// block in which the voice is found silent, plus the echoes of the delay
// and the modulation effect when they are on.
double Limit(const float* record) {
    const bool effects = record[316] >= 1.0f || record[317] >= 1.0f;
    return 1.25 * ReleaseSeconds(record) + 0.15 + (effects ? 3.0 : 0.0);
}

// Checks one played sound; `what` names it in a failure.
void Check(const Measure& m, const sounds::Sound& s, const float* record, const std::string& what) {
    const double release = Limit(record);
    if (std::getenv("ZAVO_SOUND_REPORT"))
        printf("%-24s rms %6.1f dB peak %5.2f A %d f %7.1f release %5.2f s (limit %5.2f) stereo %5.3f\n",
               what.c_str(), m.rmsDb, m.peak, m.repeatsAsA, m.frequency, m.releaseSeconds, release, m.stereo);
    EXPECT_TRUE(m.finite) << what;
    EXPECT_GT(m.rmsDb, -40.0) << what;
    EXPECT_LT(m.peak, 1.0) << what;
    if (Pitched(s)) {
        EXPECT_TRUE(m.repeatsAsA) << what << " repeats best at " << m.frequency << " Hz";
    }
    EXPECT_GE(m.releaseSeconds, 0.0) << what << " still sounds " << release << " s after the release";
}

bool Tagged(const sounds::Sound& s, const char* group, const char* word) {
    for (int g = 0; g < kCategoryGroups; ++g)
        if (std::string(GetCategoryGroupName(g)) == group) {
            const int bit = FindCategoryWord(g, word);
            return bit >= 0 && (s.masks[g] >> bit & 1u);
        }
    return false;
}

// Pads and ensembles are heard wide: their left and right must differ, by
// a chorus, a spread of voices over the panorama or a stereo echo. Below
// this correlation the difference is plain on headphones.
constexpr double kWideEnough = 0.9;

bool WantsStereo(const sounds::Sound& s) {
    return Tagged(s, "Expression", "Pad") || Tagged(s, "Expression", "Ensemble");
}

}  // namespace

TEST_F(FactorySoundsTest, EveryTemplatePlaysInTune) {
    const auto& d = Sounds();
    ASSERT_EQ(d.error, "");
    for (int t = 0; t < CProgram::kSynthTypes; ++t) {
        // The store read the template file at start-up...
        std::vector<float> expected(CProgram::kRecordSize);
        sounds::TemplateRecord(d, t, expected.data());
        for (int i = 0; i < CProgram::kRecordSize; ++i)
            ASSERT_EQ(synth().program.GetTemplate(t)[i], expected[static_cast<size_t>(i)]) << t << " slot " << i;
        // ...and a new program of the type plays it (in the last place of
        // the bank, which holds no factory program).
        synth().SetProgram(CProgram::kPrograms - 1);
        synth().program.InitProgram(t);
        synth().InitPart(0);
        const float* record = synth().program.GetProgramData(0);
        Check(Play(Limit(record)), d.templates[static_cast<size_t>(t)], record,
              std::string("template ") + sounds::kTypeNames[t]);
    }
}

TEST_F(FactorySoundsTest, EveryFactoryProgramPlaysInTuneEndsAfterItsReleaseAndPadsAreWide) {
    const auto& d = Sounds();
    ASSERT_EQ(d.error, "");
    for (size_t i = 0; i < d.programs.size(); ++i) {
        synth().SetProgram(static_cast<int>(i));
        const float* record = synth().program.GetProgramData(0);
        const Measure m = Play(Limit(record));
        Check(m, d.programs[i], record, d.programs[i].name);
        if (WantsStereo(d.programs[i])) {
            EXPECT_LT(m.stereo, kWideEnough) << d.programs[i].name << " sounds mono";
        }
    }
}

// Every value the description gives a program (the common ones, its
// template's and its own) is in the record as the store holds it: the files carry them, and
// none is out of its range (the parameter model would clamp it on load).
void ExpectDescribed(const sounds::Description& d, const sounds::Sound& s, const float* got) {
    std::vector<float> want(CProgram::kRecordSize);
    sounds::ProgramRecord(d, s, want.data());
    for (const auto* values : {&d.common.values, &d.templates[static_cast<size_t>(s.type)].values, &s.values})
        for (const auto& [id, value] : *values)
            EXPECT_NEAR(got[id], want[static_cast<size_t>(id)], 1e-3) << s.name << " slot " << id;
}

TEST_F(FactorySoundsTest, TheBankAndThePresetsHoldTheDescribedPrograms) {
    const auto& d = Sounds();
    ASSERT_EQ(d.error, "");
    ASSERT_GE(d.programs.size(), 64u);
    CProgram& store = synth().program;
    ASSERT_STREQ(store.GetBankName(0), "ZavoFactory");
    std::vector<bool> categories(sounds::kCategoryCount + 1, false);
    // The last place is where the other tests try the templates.
    for (int n = 0; n < CProgram::kPrograms - 1; ++n) {
        char name[CProgram::kNameSize];
        store.CopyProgramName(n, name);
        const float* got = store.GetProgramRecord(store.GetCurrentBankSlot(), n);
        if (n >= static_cast<int>(d.programs.size())) {
            // The rest of the bank is free for the user's own programs.
            EXPECT_STREQ(name, "new program") << n;
            continue;
        }
        const sounds::Sound& s = d.programs[static_cast<size_t>(n)];
        EXPECT_EQ(name, s.name);
        EXPECT_EQ(got[0], s.type) << s.name;
        EXPECT_EQ(got[sounds::kCategorySlot], s.category) << s.name;
        categories[static_cast<size_t>(s.category)] = true;
        ExpectDescribed(d, s, got);
    }
    for (int c = 1; c <= sounds::kCategoryCount; ++c)
        EXPECT_TRUE(categories[static_cast<size_t>(c)]) << "no program of " << sounds::kCategories[c - 1];

    // The presets found at start-up are the same programs, and a preset
    // loads the same sound as the bank.
    const auto& pool = g_PresetPool.Entries();
    ASSERT_EQ(pool.size(), d.programs.size());
    synth().SetProgram(CProgram::kPrograms - 1);
    for (const sounds::Sound& s : d.programs) {
        auto found = std::find_if(pool.begin(), pool.end(), [&](const CPreset& p) { return p.name == s.name; });
        ASSERT_NE(found, pool.end()) << s.name;
        uint32_t masks[kCategoryGroups];
        found->param.GetMasks(masks);
        EXPECT_TRUE(std::equal(masks, masks + kCategoryGroups, s.masks)) << s.name;
        synth().LoadPresetBody(found->body.data(), static_cast<int32_t>(found->body.size()), true);
        ExpectDescribed(d, s, synth().program.GetProgramData(0));
    }
}

TEST_F(FactorySoundsTest, TheBrowserFindsTheFactoryPresetsByCategory) {
    const auto& d = Sounds();
    struct Case {
        int group;
        const char* word;
    };
    const Case cases[] = {{0, "Bass"},  {0, "Drums"},    {0, "Synth"},      {0, "Soundeffect"},
                          {1, "FM"},    {1, "Analog"},   {1, "Spectral"},   {2, "Metallic"},
                          {3, "Pad"},   {3, "Plucked"},  {0, "Favourites"}};
    CPresetBrowser& browser = synth().presetBrowser;
    for (const Case& c : cases) {
        // As the category buttons do: a new search, then one word.
        browser.SetFilterMode(0);
        browser.SetFilterMode(1);
        const uint32_t bit = 1u << FindCategoryWord(c.group, c.word);
        browser.SetCategoryMask(c.group, bit);
        std::vector<std::string> want, got;
        for (const sounds::Sound& s : d.programs)
            if (s.masks[c.group] & bit) want.push_back(s.name);
        for (int i = 0; i < browser.GetCount(); ++i) got.push_back(browser.GetRow(i)->name);
        std::sort(want.begin(), want.end());
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, want) << c.word;
        // Every word a factory program is filed under finds something but
        // the one the user keeps for himself.
        EXPECT_EQ(got.empty(), std::string(c.word) == "Favourites") << c.word;
    }
    browser.SetFilterMode(0);
    browser.SetFilterMode(1);
    EXPECT_EQ(browser.GetCount(), static_cast<int>(d.programs.size()));
}

TEST(SoundDescriptionTest, ALineItCannotReadStopsTheToolAndSaysWhere) {
    std::string templates;
    for (const char* t : sounds::kTypeNames) templates += std::string("[template ") + t + "]\n";
    struct Case {
        std::string text;
        std::string error;  // its start; empty: read
    };
    const Case cases[] = {
        {templates + "[program Bass ana \"Round\"]\n16 = 60 # cutoff\ntag Source Analog\n", ""},
        {templates + "[program Bass ana \"Round\"]\n16 60\n", "line 9: expected <id> = <value>"},
        {templates + "[program Bass ana \"Round\"]\n2272 = 1\n", "line 9: expected"},
        {templates + "[program Bass ana \"Round\"]\n0 = 1\n", "line 9: expected"},
        {templates + "[program Bassoon ana \"Round\"]\n", "line 8: expected [program"},
        {templates + "[program Bass moog \"Round\"]\n", "line 8: expected [program"},
        {templates + "[program Bass ana Round]\n", "line 8: expected [program"},
        {templates + "[program Bass ana \"A name far longer than the field\"]\n", "line 8: name longer"},
        {templates + "[program Bass ana \"Round\"]\ntag Timbre Round\n", "line 9: unknown tag"},
        {templates + "[template ana]\n", "line 8: unknown or repeated"},
        {"16 = 60\n", "line 1: expected"},
        {"[template profi]\n", "no template for micro"},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.text);
        const sounds::Description d = sounds::Parse(in);
        EXPECT_EQ(d.error.substr(0, c.error.size()), c.error) << c.text;
        EXPECT_EQ(d.error.empty(), c.error.empty()) << d.error;
    }
}
