// The shipped layout driven as a musician drives it: for every synthesis
// type the page buttons lead to pages that exist and every value the type
// uses has a widget there or in a dialog those pages open; each sound
// dialog opens by its own path; a drag in the envelope editor is heard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "editor/CUIMEnvelope.h"
#include "gui/CGLBitmapCache.h"
#include "gui/GUIButton.h"
#include "gui/CUnifiedDC.h"
#include "gui/GUIButton.h"
#include "gui/GUIHead.h"
#include "gui/GUIResource.h"
#include "gui/GUISelection.h"
#include "gui/GUIDialog.h"
#include "params/CPIBase.h"
#include "tests/editor/EditorFixture.h"
#include "tools/SoundDescription.h"
#include "os/TestFolders.h"

namespace {

bool Is(const GUIObject& w, const char* tag) { return strncmp(w.GetTag(), tag, GUIObject::kTagSize) == 0; }

// Ids without a parameter row that stand for whole editors: the partial
// sets of the custom waves and the user shaper (their editor's bound
// index), the spectra of the wave editor and the multi-segment envelopes.
constexpr int kCustomWave1 = 1600, kCustomWave2 = 1680, kCustomWave3 = 1760, kUserShape = 2000;
constexpr int kFilterSpectra = 768, kOscSpectra = 1840, kMultiEnvelopes = 1024;

using Ids = std::vector<int>;

Ids Range(int first, int last)
{
    Ids ids;
    for (int id = first; id <= last; ++id) ids.push_back(id);
    return ids;
}

Ids Join(std::initializer_list<Ids> parts)
{
    Ids all;
    for (const Ids& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

const Ids kEnvelopes = Join({Range(185, 212), Range(318, 321), {kMultiEnvelopes}});

// Engine module-off bits (the mask the parameter model keeps in engine cell 270).
constexpr uint32_t kOsc2 = 0x2, kOsc3 = 0x4, kRing = 0x8, kMix13 = 0x20, kMix45 = 0x40, kShaper = 0x80,
                   kGuide = 0x100, kFilter1 = 0x200, kFilter2 = 0x1000, kFormant = 0x2000, kSpectrum = 0x4000,
                   kTerrain = 0x8000;

// The module whose run reads the value: the descriptor's module, or for
// the rows that name none (the input selectors, the terrain shapes) the
// module they feed; 0 for what every voice reads.
uint32_t ModuleOf(int id)
{
    switch (id) {
    case 239: return kOsc2;
    case 240: case 241: return kRing;
    case 242: case 243: case 244: return kMix13;
    case 245: case 246: return kMix45;
    case 248: case kUserShape: return kShaper;
    case 250: return kFilter1;
    case 253: case 254: return kGuide;
    case 256: return kFormant;
    case 257: return kFilter2;
    case 237: case 364: case 365: return kTerrain;
    case kCustomWave2: return kOsc2;
    case kCustomWave3: return kOsc3;
    case kFilterSpectra: case kOscSpectra: return kSpectrum;
    default: break;
    }
    const CIParameter* row = CIParameter::Find(0, uint32_t(id), 0);
    return row ? row->moduleMask : 0;
}

// Values no type's page needs to offer, each with its reason.
const struct {
    int id;
    const char* why;
} kNotOnSoundPages[] = {
    {251, "filter 1 section routing: no module of the panels names it"},
    {252, "filter 1 section routing: no module of the panels names it"},
    {258, "filter 2 section routing: no module of the panels names it"},
    {259, "filter 2 section routing: no module of the panels names it"},
    {59, "waveguide detune: stored, read by no module of the engine"},
    {386, "the category: filed on the song and presets page"},
    {394, "layer level: the part's reverb send on the mixer page"},
    {395, "layer mute: the part's mute in the header and on the mixer page"},
};

bool NotOnSoundPages(int id)
{
    return std::any_of(std::begin(kNotOnSoundPages), std::end(kNotOnSoundPages),
                       [&](const auto& e) { return e.id == id; });
}

class SoundLayout : public edtest::EditorFixture {
protected:
    void SetUp() override
    {
        synth = s_synth;
        ASSERT_TRUE(dc.CreateMemory(960, 650));
        head = std::make_unique<GUIHead>(&dc, synth->editor);
        synth->editor->SetGUI(head.get());
        const std::vector<uint8_t> bytes = testutil::ReadBytes(ZAVO_LAYOUT_FILE);
        GUIResource::Layout layout;
        std::string error;
        ASSERT_TRUE(GUIResource::ReadLayout(bytes, layout, error)) << error;
        // The images go into the shared cache; what was there comes back.
        for (GUIResource::Image& image : layout.images) {
            Saved saved{image.id, {}, {}, CGLBitmapCache::Get(image.id) != nullptr};
            if (saved.had) {
                char name[64] = {};
                CGLBitmapCache::GetName(image.id, name, sizeof name);
                saved.name = name;
                saved.bitmap.Swap(*CGLBitmapCache::Get(image.id));
            }
            savedImages.push_back(std::move(saved));
            if (CDIBitmap* slot = CGLBitmapCache::Set(image.id, image.name)) slot->Swap(image.bitmap);
        }
        for (auto& w : layout.widgets) head->Adopt(std::move(w));
        head->SortByLayer();
        savedEnvelope = CUIMEnvelope::State();
        CUIMEnvelope::State() = {};
        synth->parameters.SetPartSynthesisType(0, 0);
        head->SetPage(2);
    }
    void TearDown() override
    {
        head->CloseDialog();
        synth->parameters.SetPartSynthesisType(0, 0);
        EditorFixture::TearDown();
        CUIMEnvelope::State() = savedEnvelope;
        for (Saved& s : savedImages) {
            CGLBitmapCache::Free(s.id);
            if (s.had)
                if (CDIBitmap* slot = CGLBitmapCache::Set(s.id, s.name.c_str())) slot->Swap(s.bitmap);
        }
    }

    bool HasPage(int page)
    {
        for (const auto& w : head->Objects())
            if (Is(*w, "BKGD")) return page >= 0 && page < 16 && w->properties[page] != 0;
        return false;
    }
    // The visible widget of the tag bound to (group, index, sub), on the page
    // (dialog 0) or in the dialog given.
    GUIObject* Shown(const char* tag, uint32_t group, uint32_t index, uint32_t sub = 0, int dialog = -1)
    {
        for (const auto& w : head->Objects())
            if (Is(*w, tag) && w->IsVisibleNow() && w->binding.group == group && w->binding.index == index &&
                w->binding.sub == sub && (dialog < 0 || w->dialogId == dialog))
                return w.get();
        return nullptr;
    }
    GUIObject* ShownTag(const char* tag)
    {
        for (const auto& w : head->Objects())
            if (Is(*w, tag) && w->IsVisibleNow()) return w.get();
        return nullptr;
    }
    // A click in the middle of the widget; false when another widget is on top.
    bool ClickOn(GUIObject* w)
    {
        if (!w) return false;
        const int x = w->x + w->w / 2, y = w->y + w->h / 2;
        if (head->WidgetAt(x, y) != w) return false;
        Click(x, y);
        return true;
    }
    void Click(int x, int y)
    {
        head->OnMouseDown(1, x, y);
        head->OnMouseUp(0, x, y);
    }
    // Opens a selection's list with a click and picks the item of the value.
    void Pick(GUIObject* selection, int value)
    {
        ASSERT_NE(selection, nullptr);
        const int x = selection->x + selection->w / 2, y = selection->y + selection->h / 2;
        head->OnMouseDown(1, x, y);
        ASSERT_GT(head->GetMenuId(), 0);
        Choose(value);
        head->OnMouseUp(0, x, y);
    }
    // Every widget of the open dialog is shown and on top where it lies.
    void ExpectDialogShown(int id)
    {
        ASSERT_EQ(head->GetOpenDialog(), id);
        int shown = 0;
        for (const auto& w : head->Objects()) {
            if (w->dialogId != id || Is(*w, "DLOG")) continue;
            EXPECT_TRUE(w->IsVisibleNow()) << "dialog " << id << ": " << w->GetTag();
            // The pad's four quadrants share one square.
            const GUIObject* top = head->WidgetAt(w->x + w->w / 2, w->y + w->h / 2);
            EXPECT_TRUE(top == w.get() || (Is(*w, "UI8D") && top && Is(*top, "UI8D") && top->dialogId == id))
                << "dialog " << id << ": " << w->GetTag();
            ++shown;
        }
        EXPECT_GT(shown, 0) << "dialog " << id;
    }

    // The pages the page buttons reach from the mixer, each checked to exist.
    std::set<int> ReachablePages()
    {
        std::set<int> seen{0};
        std::vector<int> todo{0};
        while (!todo.empty()) {
            const int page = todo.back();
            todo.pop_back();
            head->SetPage(page);
            std::vector<GUIObject*> buttons;
            for (const auto& w : head->Objects())
                if (Is(*w, "BTTN") && w->IsVisibleNow() && w->binding.group == 5 && w->binding.index == 140)
                    buttons.push_back(w.get());
            EXPECT_FALSE(buttons.empty()) << "page " << page;
            for (GUIObject* b : buttons) {
                head->SetPage(page);
                EXPECT_TRUE(ClickOn(b)) << "page " << page;
                const int reached = head->GetPage();
                EXPECT_TRUE(HasPage(reached)) << "page button " << b->binding.sub << " on page " << page
                                              << " shows page " << reached << ", which does not exist";
                if (seen.insert(reached).second) todo.push_back(reached);
            }
        }
        return seen;
    }

    // What the widgets of those pages, and of the dialogs they open, edit.
    std::set<int> Covered(const std::set<int>& pages)
    {
        uint32_t mask = 0;
        for (int p : pages) mask |= 1u << p;
        // The dialogs the pages open, and those that these open in turn (a
        // custom wave chosen in the oscillators' dialog).
        std::set<int> dialogs;
        for (size_t known = size_t(-1); known != dialogs.size();) {
            known = dialogs.size();
            for (const auto& w : head->Objects()) {
                if (w->dialogId == 0 ? !(w->pageMask & mask) : !dialogs.count(w->dialogId)) continue;
                const CIParameter& b = w->binding;
                if (Is(*w, "SLCT") && b.group == 0 && (b.index == 155 || b.index == 163 || b.index == 172)) {
                    dialogs.insert(2 + (b.index == 163) + 2 * (b.index == 172));
                    dialogs.insert(9);
                }
                if (Is(*w, "SLCT") && b.group == 0 && b.index == 182) dialogs.insert(5);
                if (Is(*w, "BTTN") && b.group == 3) {
                    if (b.index >= 111 && b.index <= 113) dialogs.insert(6 + int(b.index) - 111);
                    if (b.index == 171) dialogs.insert(11);
                }
                if (Is(*w, "KNOB") && b.group == 0 && IsModDestination(int(b.index))) dialogs.insert(10);
                if (Is(*w, "BTTN"))
                    if (const int opens = static_cast<const GUIButton&>(*w).OpensDialog()) dialogs.insert(opens);
            }
        }
        std::set<int> ids;
        for (const auto& w : head->Objects()) {
            if (w->dialogId == 0 ? !(w->pageMask & mask) : !dialogs.count(w->dialogId)) continue;
            const CIParameter& b = w->binding;
            if (Is(*w, "MENV")) {
                for (int id : kEnvelopes) ids.insert(id);
                for (int id : Join({Range(346, 354), Range(366, 383), {396}})) ids.insert(id);
            } else if (Is(*w, "UI8D")) {
                for (int id : Range(299, 306)) ids.insert(id);
            } else if (Is(*w, "WEDT")) {
                ids.insert(kFilterSpectra);
                ids.insert(kOscSpectra);
            } else if (b.group == 0 && b.sub == 0) {
                ids.insert(int(b.index));  // a partial editor's index names its set
            }
        }
        return ids;
    }

    // The modules the engine runs for a type: those its template or any of
    // its factory programs routes, as the parameter model's module-off mask
    // says once the sound's routing is applied (to a spare part, put back).
    uint32_t UsedModules(int type)
    {
        static const sounds::Description d = sounds::ParseFile(ZAVO_SOURCE_DIR "/data/FactorySounds.txt");
        EXPECT_TRUE(d.error.empty()) << d.error;
        constexpr int part = 15;
        CEngineData& e = synth->engine.data;
        const std::vector<uint32_t> cells(e.partRecord[part], e.partRecord[part] + CEngineData::kPartCells);
        const std::vector<float> targets(e.partTargets[part], e.partTargets[part] + CEngineData::kPartTargets);
        std::vector<const sounds::Sound*> played{&d.templates[size_t(type)]};
        for (const sounds::Sound& s : d.programs)
            if (s.type == type) played.push_back(&s);
        uint32_t used = 0;
        for (const sounds::Sound* s : played) {
            std::vector<float> record(CProgram::DefaultRecord(), CProgram::DefaultRecord() + CProgram::kRecordSize);
            for (const sounds::Sound* layer : {&d.common, &d.templates[size_t(type)], s})
                for (const auto& [id, value] : layer->values) record[size_t(id)] = value;
            // The routing: every input selector, the overdrive, the LFO waves
            // (a random one runs the noise) and the effect switches.
            for (int id = 1; id < 416; ++id) {
                const CIParameter* row = CIParameter::Find(0, uint32_t(id), 0);
                const bool routing = row && (row->listId == 270 || id == 62 || id == 213 || id == 217 || id == 221 ||
                                             id == 225 || (id >= 315 && id <= 317));
                if (routing)
                    synth->parameters.SetParameter(record.data(), record[size_t(id)] / row->scale, part, id, false,
                                                   false);
            }
            used |= ~e.partRecord[part][270];
        }
        std::copy(cells.begin(), cells.end(), e.partRecord[part]);
        std::copy(targets.begin(), targets.end(), e.partTargets[part]);
        return used;
    }

    struct Saved {
        int id;
        std::string name;
        CDIBitmap bitmap;
        bool had;
    };
    std::vector<Saved> savedImages;
    CUIMEnvelope::Shared savedEnvelope;
};

}  // namespace

TEST_F(SoundLayout, EveryTypeReachesItsPagesAndEveryValueItUses)
{
    for (int type = 0; type <= 6; ++type) {
        SCOPED_TRACE("synthesis type " + std::to_string(type));
        synth->parameters.SetPartSynthesisType(0, type);
        const std::set<int> pages = ReachablePages();
        std::set<int> soundPages;
        for (int p : pages)
            if (p >= 2 && p <= 13) soundPages.insert(p);
        const std::set<int> expected = type == 0 ? std::set<int>{2, 3, 4, 5} : std::set<int>{type + 4};
        EXPECT_EQ(soundPages, expected);

        const std::set<int> covered = Covered(pages);
        Ids uses;
        if (type == 0) {
            for (int id = 1; id < 416; ++id)
                if (CIParameter::Find(0, uint32_t(id), 0)) uses.push_back(id);
            for (int id : {kCustomWave1, kCustomWave2, kCustomWave3, kUserShape, kFilterSpectra, kOscSpectra,
                           kMultiEnvelopes})
                uses.push_back(id);
        } else {
            // What the engine reads while it plays the type's sounds, and
            // what the type's captions name.
            const uint32_t used = UsedModules(type);
            for (int id = 1; id < 416; ++id) {
                const uint32_t module = ModuleOf(id);
                if ((CIParameter::Find(0, uint32_t(id), 0) && (module == 0 || (used & module))) ||
                    synth->parameters.GetLabelOverride(type, id))
                    uses.push_back(id);
            }
            for (int id : {kCustomWave1, kCustomWave2, kCustomWave3, kUserShape, kFilterSpectra, kOscSpectra,
                           kMultiEnvelopes})
                if (ModuleOf(id) == 0 || (used & ModuleOf(id))) uses.push_back(id);
        }
        std::string missing;
        for (int id : uses) {
            const bool row = id >= 416 || CIParameter::Find(0, uint32_t(id), 0) ||
                             synth->parameters.GetLabelOverride(type, id);
            if (row && !covered.count(id) && !NotOnSoundPages(id)) missing += " " + std::to_string(id);
        }
        EXPECT_TRUE(missing.empty()) << "without a widget:" << missing;
    }
}

// The buttons in the section title bars open the editors a type's page has
// no room for, lit while open, and close them again; what is chosen there is
// what the part plays.
TEST_F(SoundLayout, TitleBarButtonsOpenTheEditorsAPageHasNoRoomFor)
{
    // So are the effects' "Edit..." buttons, which open theirs as commands.
    head->SetPage(5);
    for (const auto& [command, dialog] : {std::pair{111, 6}, {112, 7}, {113, 8}, {171, 11}}) {
        auto* edit = static_cast<GUIButton*>(Shown("BTTN", 3, uint32_t(command)));
        ASSERT_TRUE(ClickOn(edit)) << command;
        EXPECT_EQ(head->GetOpenDialog(), dialog);
        EXPECT_EQ(edit->shown, 1) << command;
        for (head->RedrawAll(); const int other : {111, 112, 113, 171})  // only the open effect's button is lit
            EXPECT_EQ(static_cast<GUIButton*>(Shown("BTTN", 3, uint32_t(other)))->shown, other == command) << other;
        ASSERT_TRUE(ClickOn(edit)) << command;
        EXPECT_EQ(edit->shown, 0) << command;
    }
    for (int type = 1; type <= 6; ++type) {
        SCOPED_TRACE("synthesis type " + std::to_string(type));
        synth->parameters.SetPartSynthesisType(0, type);
        head->SetPage(type + 4);
        std::vector<GUIButton*> openers;
        for (const auto& w : head->Objects())
            if (Is(*w, "BTTN") && w->IsVisibleNow() && static_cast<GUIButton&>(*w).OpensDialog())
                openers.push_back(static_cast<GUIButton*>(w.get()));
        EXPECT_GE(openers.size(), 4u);
        for (GUIButton* b : openers) {
            const int dialog = b->OpensDialog();
            ASSERT_TRUE(ClickOn(b)) << "dialog " << dialog;
            ExpectDialogShown(dialog);
            EXPECT_EQ(b->shown, 1) << "dialog " << dialog;
            ASSERT_TRUE(ClickOn(b)) << "dialog " << dialog;
            EXPECT_EQ(head->GetOpenDialog(), 0);
        }
    }
    // fm: routing 12 aimed at LFO 3's level, and LFO 3's wave, both set in
    // dialogs of the page.
    const float destination = Get(85 + 11), wave = Get(221);
    synth->parameters.SetPartSynthesisType(0, 3);
    head->SetPage(7);
    for (const auto& [dialog, id, value] : {std::tuple{20, 85 + 11, 80}, std::tuple{22, 221, 2}}) {
        for (const auto& w : head->Objects()) {
            if (Is(*w, "BTTN") && w->IsVisibleNow() && static_cast<GUIButton&>(*w).OpensDialog() == dialog) {
                ASSERT_TRUE(ClickOn(w.get()));
            }
        }
        Pick(Shown("SLCT", 0, uint32_t(id), 0, dialog), value);
        EXPECT_EQ(synth->program.GetProgramData(0)[id], float(value)) << id;
        head->CloseDialog();
    }
    Set(85 + 11, destination);
    Set(221, wave);
}

TEST_F(SoundLayout, KnobCaptionsNameWhatThePartsTypeFeedsThem)
{
    const struct {
        int type, page, id;
        const char* caption;
    } rows[] = {
        {0, 2, 7, "Input 1"}, {0, 5, 10, "Input 4"}, {1, 5, 10, "Noise"},   {2, 6, 7, "Input 1"},
        {5, 9, 8, "White"},   {6, 10, 7, "Osc1"},    {6, 10, 11, "Pink"},   {6, 10, 37, "EnvSens"},
        {6, 10, 60, "F1-F2"}, {6, 10, 16, "Cutoff"}, {6, 10, 40, "LFOSens"},
    };
    for (const auto& r : rows) {
        synth->parameters.SetPartSynthesisType(0, r.type);
        head->SetPage(r.page);
        const GUIObject* knob = Shown("KNOB", 0, uint32_t(r.id));
        ASSERT_NE(knob, nullptr) << r.id << " on page " << r.page;
        EXPECT_STREQ(knob->Caption(), r.caption) << r.id << " of type " << r.type;
    }
    // Modulation amounts on one page are told apart by their captions.
    for (const auto& [type, page] : {std::pair{0, 5}, std::pair{1, 5}, std::pair{2, 6}, std::pair{3, 7},
                                     std::pair{4, 8}, std::pair{5, 9}, std::pair{6, 10}}) {
        synth->parameters.SetPartSynthesisType(0, type);
        head->SetPage(page);
        std::map<std::string, uint32_t> seen;
        for (uint32_t id = 36; id <= 55; ++id)
            if (const GUIObject* knob = Shown("KNOB", 0, id); knob && knob->dialogId == 0) {
                const auto [at, fresh] = seen.emplace(knob->Caption(), id);
                EXPECT_TRUE(fresh) << "type " << type << ": amounts " << at->second << " and " << id
                                   << " both read " << knob->Caption();
            }
    }
}

TEST_F(SoundLayout, ChoosingACustomWaveOrASampleOpensItsDialog)
{
    const uint32_t waves[3] = {155, 163, 172};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE("oscillator " + std::to_string(k + 1));
        head->SetPage(2);
        Pick(Shown("SLCT", 0, waves[k]), 64);  // "Custom wave"
        ExpectDialogShown(2 + k);
        GUIObject* partials = Shown("PEDT", 0, uint32_t(kCustomWave1 + 80 * k));
        ASSERT_NE(partials, nullptr);

        // A stroke near the top raises the fundamental of this set.
        const int fundamental = kCustomWave1 + 80 * k + 1;
        synth->SetParameter(fundamental, 0.0f);
        head->OnMouseDown(1, partials->x + 4, partials->y + 30);
        head->OnMouseUp(0, partials->x + 4, partials->y + 30);
        EXPECT_GT(synth->GetParameter(fundamental), 50.0f);

        // The close box.
        GUIObject* dlog = ShownTag("DLOG");
        ASSERT_NE(dlog, nullptr);
        Click(dlog->x + dlog->w - 10, dlog->y + 10);
        EXPECT_EQ(head->GetOpenDialog(), 0);

        Pick(Shown("SLCT", 0, waves[k]), 65);  // "Sample"
        ExpectDialogShown(9);
        // The title names the oscillator: one panel per oscillator.
        dlog = ShownTag("DLOG");
        ASSERT_NE(dlog, nullptr);
        EXPECT_EQ(static_cast<GUIDialog*>(dlog)->GetImage(), int(dlog->properties[k]));
        EXPECT_NE(dlog->properties[k], 0u);
        head->CloseDialog();
        synth->SetParameter(int(waves[k]), 0.0f);
    }
    head->SetPage(2);
    Pick(Shown("SLCT", 0, 182), 0);  // the shaper's "Custom"
    ExpectDialogShown(5);
    EXPECT_NE(Shown("PEDT", 0, kUserShape), nullptr);
}

TEST_F(SoundLayout, EditButtonsOpenTheEffectEditorsAndSwitchTheEffectOn)
{
    const struct {
        uint32_t command;
        int dialog;
        uint32_t group, onSwitch;
    } effects[] = {{111, 6, 0, 315}, {112, 7, 0, 316}, {113, 8, 0, 317}, {171, 11, 2, 23}};
    // From profi's effects page and from a type's own page.
    for (const int type : {0, 6}) {
        synth->parameters.SetPartSynthesisType(0, type);
        head->SetPage(type == 0 ? 5 : type + 4);
        for (const auto& e : effects) {
            SCOPED_TRACE("command " + std::to_string(e.command) + " on page " + std::to_string(head->GetPage()));
            head->SetParameter(e.group == 2 ? 2 : 0, e.onSwitch, 0.0f);
            GUIObject* edit = Shown("BTTN", 3, e.command);
            ASSERT_TRUE(ClickOn(edit));
            ExpectDialogShown(e.dialog);
            EXPECT_EQ(head->GetParameter(e.group == 2 ? 2 : 0, e.onSwitch), 1.0);
            // The dialog's own switch is the effect's.
            ASSERT_TRUE(ClickOn(Shown("BTTN", e.group, e.onSwitch, 0, e.dialog)));
            EXPECT_EQ(head->GetParameter(e.group == 2 ? 2 : 0, e.onSwitch), 0.0);
            // The same button closes it again.
            ASSERT_TRUE(ClickOn(edit));
            EXPECT_EQ(head->GetOpenDialog(), 0);
        }
    }
}

TEST_F(SoundLayout, AKnobsModulationMenuOpensTheDialogOnItsRoutings)
{
    // Routing 3 sends LFO 1 (source 9) to filter 1's cutoff (destination 13).
    for (int r = 0; r < 20; ++r) synth->SetParameter(85 + r, 0.0f), synth->SetParameter(65 + r, 0.0f);
    synth->SetParameter(65 + 2, 9.0f / 128.0f);
    synth->SetParameter(85 + 2, 13.0f / 128.0f);
    synth->parameters.SetPartSynthesisType(0, 4);
    head->SetPage(8);
    GUIObject* cutoff = Shown("KNOB", 0, 16);
    ASSERT_NE(cutoff, nullptr);
    head->OnContextMenu(cutoff->x + 10, cutoff->y + 10);
    ASSERT_GT(head->GetMenuId(), 0);
    Choose(52);  // "Modulation"
    ExpectDialogShown(10);
    // Its first pair edits routing 3, the second a free routing.
    GUIObject* source = Shown("SLCT", 0, 65 + 2, 1000);
    GUIObject* amount = Shown("KNOB", 0, 36 + 2, 1010);
    ASSERT_NE(source, nullptr);
    ASSERT_NE(amount, nullptr);
    head->SetFloatValue(&amount->binding, 0.75f);
    EXPECT_FLOAT_EQ(synth->GetParameter(36 + 2), 0.75f);
    // Inside the window, where the musician clicked.
    const GUIObject* dlog = ShownTag("DLOG");
    ASSERT_NE(dlog, nullptr);
    EXPECT_LE(dlog->x + dlog->w, 960);
    EXPECT_LE(dlog->y + dlog->h, 650);
    // A page button closes it.
    ASSERT_TRUE(ClickOn(Shown("BTTN", 5, 140, 0)));
    EXPECT_EQ(head->GetOpenDialog(), 0);
    for (int r = 0; r < 20; ++r) synth->SetParameter(85 + r, 0.0f), synth->SetParameter(65 + r, 0.0f);
}

TEST_F(SoundLayout, DraggingAnEnvelopePointChangesTheEnvelopeAndTheSound)
{
    synth->SetSampleRate(44100.0f);
    // Routing 1: "MEG 1" to "Volume" at full amount.
    synth->SetParameter(65, 27.0f / 128.0f);
    synth->SetParameter(85, 22.0f / 128.0f);
    synth->SetParameter(36, 127.0f / 128.0f);
    for (const int type : {0, 1, 5}) {
        SCOPED_TRACE("synthesis type " + std::to_string(type));
        synth->parameters.SetPartSynthesisType(0, type);
        head->SetPage(type == 0 ? 4 : type + 4);
        auto* env = static_cast<CUIMEnvelope*>(ShownTag("MENV"));
        ASSERT_NE(env, nullptr);
        const int left = env->x + 4, top = env->y + 24;  // the graph's corner
        // MEG 1 gets the "AD" shape from the editor's menu: its peak at 0.022 s.
        CUIMEnvelope::State() = {};
        head->OnContextMenu(left + 300, top + 30);
        Choose(0);
        ASSERT_EQ(synth->GetParameter(1089), 1.0f);
        const std::vector<float> before = RenderNote(8192);

        // Ctrl keeps the point's time; its level follows the mouse down.
        const float tpp = CUIMEnvelope::State().timePerPixel;
        const int px = left + int(0.022f / tpp + 0.5f);
        head->OnMouseDown(1 | 8, px, top);
        head->OnMouseMove(1 | 8, px + 40, top + 55);
        head->OnMouseUp(8, px + 40, top + 55);
        EXPECT_NEAR(synth->GetParameter(1089), 0.25f, 0.03f);
        EXPECT_FLOAT_EQ(synth->GetParameter(1025), 0.022f);
        const std::vector<float> after = RenderNote(8192);
        const size_t at = 4410 - 1024;  // around 0.1 s
        EXPECT_LT(edtest::Rms(after, at, at + 2048), 0.8 * edtest::Rms(before, at, at + 2048));
    }
    synth->SetParameter(36, 0.5f);
    synth->SetParameter(65, 0.0f);
    synth->SetParameter(85, 0.0f);
}

// Set values read as words: an open input says "(open)" and an unused
// routing "OFF" where their fields stood empty; a routing's row is drawn
// anew when its source or destination changes.
TEST_F(SoundLayout, OpenInputsAndUnusedRoutingsReadAsWords)
{
    const struct {
        int page, id;
        const char* text;
    } fields[] = {{3, 257, "(open)"}, {3, 250, "(open)"}, {2, 253, "(open)"}, {5, 65 + 5, "OFF"}};
    for (const auto& f : fields) {
        const float before = Get(f.id);
        Set(f.id, 0.0f);
        head->SetPage(f.page);
        GUIObject* field = Shown("SLCT", 0, uint32_t(f.id));
        ASSERT_NE(field, nullptr) << f.id;
        char text[64] = {};
        head->GetValueText(&field->binding, text, sizeof text);
        EXPECT_STREQ(text, f.text) << f.id;
        Set(f.id, before);
    }

    // A routing's row shows "Pitch" once it has a source, its amount anew when "Volume" becomes "Pitch".
    constexpr uint32_t r = 5;
    const float saved[] = {Get(65 + r), Get(85 + r)};
    Set(85 + r, 0.0f);
    auto* destination = static_cast<GUISelection*>(Shown("SLCT", 0, 85 + r));
    Pick(Shown("SLCT", 0, 65 + r), 13);  // the modulation wheel
    head->OnIdle();
    EXPECT_STREQ(destination->text, "Pitch");
    Pick(destination, 22);
    head->OnMouseMove(0, destination->x + 8, destination->y + 8);
    head->OnIdle();
    head->OnKey(36, 0, 0);  // Home
    EXPECT_TRUE(head->IsRedrawAllPending()) << "the amount stays in dB";
    Set(65 + r, saved[0]), Set(85 + r, saved[1]);
    // So the last routing's row, and End on a source field.
    for (const uint32_t last : {65u + 19, 85u + 19}) {
        const float before = Get(int(last));
        GUIObject* field = Shown("SLCT", 0, last);
        ASSERT_NE(field, nullptr) << last;
        head->OnMouseMove(0, field->x + 8, field->y + 8);
        head->OnIdle();
        ASSERT_FALSE(head->IsRedrawAllPending());
        head->OnKey(35, 0, 0);  // End
        EXPECT_TRUE(head->IsRedrawAllPending()) << last;
        Set(int(last), before);
    }
}

// The reverb editor's preset field names the preset, lists the presets and
// loads the one chosen into the reverb; a project's own reverb values stay
// as they were saved when it is applied again.
TEST_F(SoundLayout, TheReverbPresetFieldLoadsThePresetByName)
{
    float* globals = synth->program.GetGlobals();
    const std::vector<float> saved(globals, globals + 128);
    head->SetPage(5);
    ASSERT_TRUE(ClickOn(Shown("BTTN", 3, 171)));
    ASSERT_EQ(head->GetOpenDialog(), 11);
    GUIObject* preset = Shown("SLCT", 2, 10, 0, 11);
    ASSERT_NE(preset, nullptr);
    char text[64] = {};
    Pick(preset, 13);
    head->GetValueText(&preset->binding, text, sizeof text);
    EXPECT_STREQ(text, "Hall 1");
    const CPIBase::Preset& hall = CPIBase::kReverbPresets[13];
    const int ids[6] = {11, 12, 13, 14, 15, 16}, values[6] = {0, 0, 1, 2, 3, 4};
    for (int k = 0; k < 6; ++k)
        EXPECT_FLOAT_EQ(globals[ids[k]], 128.0f * float(hall.value[values[k]]) / 127.0f) << ids[k];
    // The room size reaches the engine.
    EXPECT_NEAR(synth->engine.data.globalValues[13], float(hall.value[1]) / 127.0f * 99.0f + 1.0f, 1e-3f);
    Pick(preset, 1);
    head->GetValueText(&preset->binding, text, sizeof text);
    EXPECT_STREQ(text, "Dark");

    // A size edited after the choice survives applying the stored values.
    synth->SetGlobalParameter(13, 0.25f);
    synth->parameters.ApplyAllGlobal();
    EXPECT_FLOAT_EQ(globals[13], 32.0f);
    EXPECT_FLOAT_EQ(globals[10], 1.0f);

    std::copy(saved.begin(), saved.end(), globals);
    synth->parameters.ApplyAllGlobal();
}

// The 8D pad's dialog opens from the sound page of every type. In it "8D 1-X"
// is chosen from the source menu; a knob dragged then sets how far point 1's
// X axis moves that knob's value, and the pad pulled out is heard. "none"
// makes the knob a plain knob again. The axes' names are the program's.
TEST_F(SoundLayout, The8DDialogAssignsAKnobToAnAxisAndThePadMovesItsValue)
{
    auto opener = [&]() -> GUIObject* {
        for (const auto& w : head->Objects())
            if (Is(*w, "BTTN") && w->IsVisibleNow() && w->dialogId == 0 &&
                static_cast<const GUIButton&>(*w).OpensDialog() == 12)
                return w.get();
        return nullptr;
    };
    for (int type = 0; type <= 6; ++type) {
        SCOPED_TRACE("synthesis type " + std::to_string(type));
        synth->parameters.SetPartSynthesisType(0, type);
        head->SetPage(type == 0 ? 5 : type + 4);
        ASSERT_TRUE(ClickOn(opener()));
        ExpectDialogShown(12);
        ASSERT_TRUE(ClickOn(opener()));  // a second press closes it
        EXPECT_EQ(head->GetOpenDialog(), 0);
    }

    synth->SetSampleRate(44100.0f);
    synth->parameters.SetPartSynthesisType(0, 6);
    head->SetPage(10);
    float* record = synth->program.GetProgramData(0);
    const std::vector<float> saved(record + CPIBase::kAssignBase, record + CPIBase::kAssignBase + 4 * CPIBase::kAssignments);
    const float savedVolume = Get(20);
    for (int k = 0; k < CPIBase::kAssignments; ++k) record[CPIBase::kAssignBase + 4 * k + 1] = record[CPIBase::kAssignBase + 4 * k + 2] = 0;
    synth->parameters.RebuildAssignedFlags(0);
    Set(20, 0.3f);

    ASSERT_TRUE(ClickOn(opener()));
    GUIObject* source = Shown("SLCT", 3, 141, 0, 12);
    Pick(source, 1);
    EXPECT_TRUE(CPIBase::IsAssignSource(0));
    bool lit = false;
    head->GetBoolValue(&Shown("BTTN", 3, 151, 0, 12)->binding, lit);
    EXPECT_TRUE(lit);
    char text[64] = {};
    head->GetValueText(&source->binding, text, sizeof text);
    EXPECT_STREQ(text, "8D 1-X");
    // Point 1's X gets a name of the program's own.
    ASSERT_TRUE(ClickOn(Shown("EDIT", 3, 143, 0, 12)));
    for (char c : std::string("Loudness")) head->OnKey(std::toupper(static_cast<unsigned char>(c)), c, 0);
    head->OnKey(13, 13, 0);
    synth->program.GetLabel(0, text);
    EXPECT_STREQ(text, "Loudness");
    ASSERT_TRUE(ClickOn(Shown("EDIT", 3, 143, 0, 12)));  // typed over, given up with Esc
    head->OnKey('X', 'x', 0), head->OnKey(27, 27, 0);
    synth->program.GetLabel(0, text);
    EXPECT_STREQ(text, "Loudness");
    ASSERT_TRUE(ClickOn(opener()));

    // The volume knob dragged 40 pixels up: the amount, not the volume.
    GUIObject* volume = Shown("KNOB", 0, 20);
    ASSERT_NE(volume, nullptr);
    const int kx = volume->x + 16, ky = volume->y + 16;
    ASSERT_EQ(head->WidgetAt(kx, ky), volume);
    Drag(0, kx, ky, kx, ky - 40);
    int amount = 0;
    EXPECT_TRUE(synth->parameters.FindAssignment(0, 20, &amount));
    EXPECT_EQ(amount, 40);
    EXPECT_NEAR(Get(20), 0.3f, 1e-6f);
    // The knob shows the armed axis; no depth goes past its top, so a drag down there acts at once.
    // The master volume turns its own value and assigns nothing.
    char shown[64] = {};
    EXPECT_TRUE(head->GetAssignText(&volume->binding, shown, sizeof shown));
    EXPECT_STREQ(shown, "8D 1-X +40");
    // A press soon after a click comes as a double click: the drag from it
    // sets the depth from that press all the same, the value stays.
    Click(kx, ky);
    head->OnDoubleClick(1, kx, ky);
    head->OnMouseMove(1, kx, ky - 8);
    head->OnMouseUp(0, kx, ky - 8);
    synth->parameters.FindAssignment(0, 20, &amount);
    EXPECT_EQ(amount, 48);
    EXPECT_NEAR(Get(20), 0.3f, 1e-6f);
    // Below the knob's lowest frame no depth either: 0.3 is frame 38.
    Drag(0, kx, ky, kx, ky + 200);
    synth->parameters.FindAssignment(0, 20, &amount);
    EXPECT_EQ(amount, -38);
    Drag(0, kx, ky, kx, ky - 78);  // +40 again
    // The last axis names itself too.
    synth->parameters.ArmAssignSource(7, true);
    EXPECT_TRUE(head->GetAssignText(&volume->binding, shown, sizeof shown));
    EXPECT_STREQ(shown, "8D 4-Y +0");
    synth->parameters.ArmAssignSource(0, true);
    Set(20, 1.0f);
    Drag(0, kx, ky, kx, ky - 40);
    Drag(0, kx, ky, kx, ky + 40);
    synth->parameters.FindAssignment(0, 20, &amount);
    EXPECT_EQ(amount, -40);
    Set(20, 0.3f);
    Drag(0, kx, ky, kx, ky - 80);  // +40 again
    const GUIObject* master = Shown("KNOB", 2, 6);
    const float masterBefore = synth->GetGlobalParameter(6);
    Drag(0, master->x + 16, master->y + 16, master->x + 16, master->y + 26);
    EXPECT_FALSE(synth->parameters.FindAssignment(0, 6, &amount) || synth->GetGlobalParameter(6) == masterBefore);
    synth->SetGlobalParameter(6, masterBefore);
    const std::vector<float> centred = RenderNote(16384);

    // Point 1 pulled out to the far end of its X axis in the dialog's pad.
    ASSERT_TRUE(ClickOn(opener()));
    const GUIObject* pad = Shown("UI8D", 0, 1, 0, 12);
    ASSERT_NE(pad, nullptr);
    const int cx = pad->x + pad->w / 2, cy = pad->y + pad->h / 2;
    head->OnMouseDown(1, cx, cy - 28);
    head->OnMouseMove(1, cx - 14, cy - 28);
    head->OnMouseMove(1, cx - 24, cy - 29);
    head->OnMouseUp(0, cx - 24, cy - 29);
    EXPECT_NEAR(Get(299), 1.0f, 0.02f);
    const std::vector<float> pulled = RenderNote(16384);
    // 0.3 + (1 - 0.5) * 40 / 64: louder by far.
    EXPECT_GT(edtest::Rms(pulled, 8192, 16384), 2.0 * edtest::Rms(centred, 8192, 16384));

    // "none": the knob turns its own value again and the amount stays.
    Pick(source, 0);
    EXPECT_FALSE(CPIBase::IsAssignArmed());
    head->GetValueText(&source->binding, text, sizeof text);
    EXPECT_STREQ(text, "none");
    ASSERT_TRUE(ClickOn(opener()));
    Drag(0, kx, ky, kx, ky - 10);
    EXPECT_GT(Get(20), 0.3f + 0.05f);
    bool kept = false;
    for (int k = 0; k < CPIBase::kAssignments; ++k) {
        const float* e = record + CPIBase::kAssignBase + 4 * k;
        kept |= e[0] == 0 && int(e[1]) * 256 + int(e[2]) == 20 && e[3] == 40;
    }
    EXPECT_TRUE(kept);

    std::copy(saved.begin(), saved.end(), record + CPIBase::kAssignBase);
    synth->parameters.RebuildAssignedFlags(0);
    synth->program.SetLabel(0, "");
    for (int id = 299; id <= 306; ++id) Set(id, 0.5f);
    Set(20, savedVolume);
}
