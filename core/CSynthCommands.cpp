// The synthesizer's numbered commands: device choice, programs and banks,
// files, assignment sources, meters and the preset filter. Each has an
// execute operation taking a float, a value operation and a text operation;
// all three run on the GUI thread.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

#include "common/base/Utf8.h"
#include "core/CMIDI.h"
#include "core/CPresetPool.h"
#include "core/CSequencer.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "engine/CTLShapes.h"
#include "gui/CUIMenuResource.h"
#include "os/OMessageBox.h"
#include "os/OReplaceFile.h"
#include "platform/CDlgFile.h"
#include "platform/CAudioDevices.h"
#include "platform/CGlobalData.h"
#include "platform/CMIDIDevices.h"

namespace {

constexpr int kMixerMidiChannel = 4;
constexpr int kMixerKeyLow = 5;
constexpr int kMixerKeyHigh = 6;
constexpr int kMixerMute = 9;
constexpr int kMixerSolo = 11;
constexpr int kRecordSize = CProgram::kRecordSize;
constexpr int kRates[6] = {96000, 88200, 48000, 44100, 32000, 22050};
constexpr uint32_t kRateMenu = 275;  // the rates above, in that order
constexpr int kUserWaveIds[3] = {1600, 1680, 1760};
constexpr int kUserWaveParams[3] = {155, 163, 172};
constexpr int kUserShapeId = 2000;
constexpr int kShapeModeSlot = 355;
// The longest MIDI-out delay the offset may take.
constexpr double kMaxOutOffsetSeconds = 0.1;

// A double as an integer, truncated toward zero and saturated; NaN is 0.
int32_t SaturateInt(double x) {
    if (std::isnan(x))
        return 0;
    if (x >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (x <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(x);
}

// The integer a normalized value carries.
int32_t Norm(float value) { return SaturateInt(static_cast<double>(value) * 128.0 + 0.1); }
// The value itself as an integer (menu items and ids passed as floats).
int32_t Raw(float value) { return SaturateInt(static_cast<double>(value)); }
// A 32-bit mask passed as a float: 0..2^32-1, anything else saturated.
uint32_t RawMask(float value) {
    const double x = static_cast<double>(value);
    if (std::isnan(x) || x <= 0.0)
        return 0;
    if (x >= 4294967295.0)
        return 0xFFFFFFFFu;
    return static_cast<uint32_t>(x);
}

bool InRange(int32_t v, int32_t lo, int32_t hi) { return v >= lo && v <= hi; }

void Cut(char* out, size_t size, const char* text) {
    if (out && size > 0)
        utf8::CopyCut(out, size, text ? text : "");
}

} // namespace

void CSynth::Refresh() {
    if (editor)
        editor->Refresh();
}

void CSynth::ReloadCurrentProgram() {
    SetProgram(program.GetCurrentProgramNumber());
    Refresh();
}

void CSynth::RandomizeCurrentPart() {
    EngineHold hold(*this);
    const int32_t part = CurrentPart();
    // The part is rebuilt value by value: its loading flag keeps the audio
    // thread from smoothing towards half-written values meanwhile.
    engine.partLoading[part].store(1);
    program.RandomProgram();
    Post({Request::Kind::kKillVoices, part});
    engine.ResetPart(part);
    parameters.ResetPartVoices(part);
    for (int id = 0; id < kRecordSize; ++id)
        SetParameter(id, GetParameter(id));
    engine.partLoading[part].store(0);
}

void CSynth::ToggleCombination() {
    EngineHold hold(*this);
    const int32_t part = CurrentPart();
    if (!program.IsCombinationBank(part)) {
        program.ToggleCombinationBank(part, 1);
        InitPartGroup(part, program.GetCurrentProgramNumber());
        Refresh();
        return;
    }
    program.ToggleCombinationBank(part, 0);
    const int32_t base = (part / 4) * 4;
    int channel = std::clamp(Norm(parameters.GetMixerParameter(kMixerMidiChannel, base)), 0, 15);
    for (int q = base; q < base + 4; ++q) {
        InitPart(q);
        parameters.SetMixerParameter(kMixerMidiChannel, q, static_cast<float>(channel) / 128.0f);
        channel = std::min(channel + 1, 15);
        parameters.SetMixerParameter(kMixerKeyLow, q, 0.0f);
        parameters.SetMixerParameter(kMixerKeyHigh, q, 0.0f);
    }
    Post({Request::Kind::kAllNotesOff});
    Refresh();
}

bool CSynth::OpenProjectFile() {
    bool read = false;
    uint32_t rate = 0;
    {
        // Also when no device runs: the render call in flight is waited out
        // and a synthesizer suspended before stays so.
        EngineHold hold(*this);
        read = program.OpenProject();
        if (read) {
            parameters.ApplyAllGlobal();
            parameters.ApplyAllMixer();
            // The project's mixer says which parts are muted.
            InitAllPartsKeepingMutes();
            rate = sequencer->storedSampleRate;
        }
    }
    // A project made at another rate brings its tables, arpeggiator and
    // device along, as choosing the rate does.
    if (read && rate != 0 && static_cast<int32_t>(rate) != g_GlobalData.sampleRate)
        SetSampleRate(static_cast<float>(rate));
    Refresh();
    return read;
}

void CSynth::ExecuteCommand(int32_t id, float value) {
    const int32_t n = Norm(value);
    const int32_t part = CurrentPart();
    if (InRange(id, 10, 25)) {
        SelectPart(id - 10, n);
        Refresh();
        return;
    }
    if (InRange(id, 40, 55)) {
        const int p = id - 40;
        if (!InRange(n, 0, kPrograms - 1))
            return;
        program.SetPartProgram(p, program.GetPartBankSlot(p), n);
        InitPart(p);
        return;
    }
    if (InRange(id, 60, 75)) {
        if (InRange(n, 0, CProgram::kSlots - 1))
            program.SetPartProgram(id - 60, n, 0);
        return;
    }
    if (InRange(id, 151, 158)) {
        const int k = id - 151;
        parameters.ArmAssignSource(k, !CPIBase::IsAssignSource(k));
        Refresh();
        return;
    }
    if (InRange(id, 166, 170)) {
        presetBrowser.SetCategoryMask(id - 166, RawMask(value));
        Refresh();
        return;
    }
    switch (id) {
    case 1:
        g_MIDIDevices.ToggleInput(n);
        g_MIDIDevices.BuildMenus(parameters.GetMenuView());
        break;
    case 2:
        g_MIDIDevices.SelectOutput(n);
        g_MIDIDevices.BuildMenus(parameters.GetMenuView());
        break;
    case 4:
        g_MIDIDevices.CloseAll();
        g_AudioDevices.Select(n, editor ? editor->GetWindow() : nullptr, this, g_GlobalData.sampleRate,
                              g_GlobalData.refillPeriod);
        ReportAudioOutput();
        g_AudioDevices.BuildMenu(parameters.GetMenuView());
        g_MIDIDevices.Start(this);
        break;
    case 96:
        g_AudioDevices.SetLatencySetting(n);
        break;
    case 97:
        g_AudioDevices.OpenControlPanel();
        break;
    case 99:
        if (InRange(n, 0, 5)) {
            const bool playing = g_AudioDevices.IsOpen();
            SetSampleRate(static_cast<float>(kRates[n]));
            // The output is made anew at the new rate, which may fail.
            if (playing && !ReportAudioOutput())
                g_AudioDevices.BuildMenu(parameters.GetMenuView());
            MarkSampleRate();
            // A JACK server keeps its own rate and the engine follows it:
            // say so rather than leave the choice silently undone.
            if (g_GlobalData.sampleRate != kRates[n]) {
                char text[200];
                std::snprintf(text, sizeof(text),
                              "The audio output runs at %d Hz and cannot be set to %d Hz, so ZAVO stays at %d Hz. "
                              "Change the rate of the JACK server to play at %d Hz.",
                              static_cast<int>(g_GlobalData.sampleRate), kRates[n],
                              static_cast<int>(g_GlobalData.sampleRate), kRates[n]);
                os::ShowMessageBox(text, "Sample rate");
            }
        }
        break;
    case 160: {
        const double samples = static_cast<double>(value) * 0.1 * g_GlobalData.sampleRate;
        const int32_t most = static_cast<int32_t>(kMaxOutOffsetSeconds * g_GlobalData.sampleRate);
        std::atomic_ref<int32_t>(g_GlobalData.MIDIOutOffset)
            .store(std::clamp(SaturateInt(samples), 0, most), std::memory_order_relaxed);
        break;
    }
    case 135:
        Post({Request::Kind::kAllNotesOff});
        break;
    case 100:
    case 101:
        // A reverb or chorus preset sets the effect's values at once; its
        // number is kept with the global values, so a project brings it back.
        if (!InRange(n, 0, CPIBase::kPresets - 1))
            break;
        if (id == 100)
            parameters.ApplyReverbPreset(n);
        else
            parameters.ApplyChorusPreset(n);
        parameters.SetGlobalParameter(id == 100 ? kGlobalReverbPreset : kGlobalChorusPreset,
                                      static_cast<float>(n) / 128.0f);
        Refresh();
        break;
    case 5:
        if (!InRange(n, 0, kPrograms - 1))
            break;
        program.SetPartProgram(part, program.GetCurrentBankSlot(), n);
        ReloadCurrentProgram();
        break;
    case 6:
    case 132:
        OpenBank();
        break;
    case 104:
        program.SelectBankSlot(n);
        Refresh();
        break;
    case 105:
        program.SetSelectedListEntry(n);
        break;
    case 102:
        program.SelectBankSlot(program.GetCurrentBankSlot());
        program.SetSelectedListEntry(program.GetCurrentProgramNumber());
        program.SetCurrentNameText(program.GetCurrentProgramName());
        Refresh();
        break;
    case 121:
    case 122: {
        const int step = program.IsCombinationBank(part) ? 4 : 1;
        const int next = program.GetCurrentProgramNumber() + (id == 121 ? step : -step);
        if (InRange(next, 0, kPrograms - 1))
            SetProgram(next);
        Refresh();
        break;
    }
    // The copies, pastes and inits of the program's record wait out the
    // render call: the audio thread reads the record (its 8D assignments
    // every block) and writes it (learnt controllers).
    case 125:
    case 126:
    case 127:
    case 161:
    case 163:
    case 165: {
        EngineHold hold(*this);
        if (id == 125) program.CopyProgram();
        else if (id == 126) program.PasteProgram();
        else if (id == 127) program.InitProgram(Raw(value));
        else if (id == 161) program.InitKeepingClipboard();
        else if (id == 163) program.PasteModulation();
        else program.PasteSection();
        ReloadCurrentProgram();
        break;
    }
    case 128:
        RandomizeCurrentPart();
        Refresh();
        break;
    case 134:
        ToggleCombination();
        break;
    case 174:
        SetMixerParameter(part << 10 | kMixerMute, value);
        break;
    case 175:
        SetMixerParameter(part << 10 | kMixerSolo, value);
        break;
    case 103:
        SaveAllMultiSamples(true);
        SaveProjectFile();
        Refresh();
        break;
    case 106:
        SavePartMultiSamples(part);
        SaveBankFile();
        program.BuildProgramMenu(parameters.GetMenuView());
        Refresh();
        break;
    case 109:
        OpenProjectFile();
        break;
    case 129:
        SavePresetFile();
        break;
    case 130:
        // The menu's "Save bank...": the multi-samples, then the bank.
        SaveAllMultiSamples();
        SaveBankFile();
        program.BuildProgramMenu(parameters.GetMenuView());
        Refresh();
        break;
    case 131:
        LoadFxpPreset();
        Refresh();
        break;
    case 133:
        NewBank(Raw(value));
        break;
    case 119:
        g_ControllerNumberMode = value > 0.0f ? 1 : 0;
        Refresh();
        break;
    case 141:
        if (!(value > 0.0f))
            parameters.ArmAssignSource(0, false);
        else
            parameters.ArmAssignSource(std::clamp(Raw(value - 1.0f), 0, 7), true);
        Refresh();
        break;
    case 142: {
        const int32_t at = Raw(value);
        float* record = program.GetProgramData(part);
        if (!record)
            break;
        EngineHold hold(*this);
        for (int osc = 0; osc < 3; ++osc)
            if (at == kUserWaveIds[osc])
                engine.data.waves.BuildUserWave(record + at, part, kUserWaveParams[osc]);
        if (at == kUserShapeId)
            g_TLShapes.BuildUserShape(record + at, part, Raw(record[kShapeModeSlot]));
        break;
    }
    case 172:
    case 173:
        presetBrowser.SetFilterMode(id == 172 ? 1 : 0);
        Refresh();
        break;
    case 111:
    case 112:
    case 113:
    case 171:
        // The effect editors are dialogs of the window.
        if (editor)
            editor->ToggleEffectEditor(id);
        break;
    default:
        // 108, 177 and ids without a command.
        break;
    }
}

void CSynth::MarkSampleRate() {
    for (int i = 0; i < 6; ++i)
        CUIMenuResource::SetChecked(kRateMenu, static_cast<uint32_t>(i + 1),
                                    g_GlobalData.sampleRate == kRates[i] ? 1 : 0, false);
}

float CSynth::GetCommandValue(int32_t id) {
    const int32_t part = CurrentPart();
    if (InRange(id, 10, 25))
        return GetPartActivity(id - 10);
    if (InRange(id, 40, 55)) {
        program.BuildBankMenu(id - 40, parameters.GetMenuView());
        return static_cast<float>(program.GetPartProgramNumber(id - 40)) / 128.0f;
    }
    if (InRange(id, 60, 75))
        return static_cast<float>(program.GetPartBankSlot(id - 60)) / 128.0f;
    if (InRange(id, 80, 95))
        return CEngine::LevelToMeter(engine.GetPartOutputMeter(id - 80));
    if (InRange(id, 151, 158))
        return CPIBase::IsAssignSource(id - 151) ? 1.0f : 0.0f;
    if (InRange(id, 166, 170))
        return static_cast<float>(presetBrowser.GetCategoryMask(id - 166));
    switch (id) {
    case 4:
        return static_cast<float>(g_AudioDevices.GetDeviceIndex()) / 128.0f;
    case 96:
        return static_cast<float>(g_AudioDevices.GetLatencySetting()) / 128.0f;
    case 160: {
        const int32_t offset = std::atomic_ref<int32_t>(g_GlobalData.MIDIOutOffset).load(std::memory_order_relaxed);
        return static_cast<float>(offset / (g_GlobalData.sampleRate * 0.1));
    }
    case 5:
        program.BuildProgramMenu(parameters.GetMenuView());
        return static_cast<float>(program.GetCurrentProgramNumber()) / 128.0f;
    case 6:
        return static_cast<float>(program.GetCurrentBankSlot()) / 128.0f;
    case 104:
        return static_cast<float>(program.GetSelectedBankNumber()) / 128.0f;
    case 105:
        program.BuildBankMenu(-1, parameters.GetMenuView());
        return static_cast<float>(program.GetSelectedListEntry()) / 128.0f;
    case 134:
        return program.IsCombinationBank(part) ? 1.0f : 0.0f;
    case 111:
    case 112:
    case 113:
    case 171:
        return editor && editor->IsEffectEditorOpen(id) ? 1.0f : 0.0f;
    case 100:
        return parameters.GetGlobalParameter(kGlobalReverbPreset);
    case 101:
        return parameters.GetGlobalParameter(kGlobalChorusPreset);
    case 174:
        return parameters.GetMixerParameter(kMixerMute, part);
    case 175:
        return parameters.GetMixerParameter(kMixerSolo, part);
    case 119:
        return g_ControllerNumberMode ? 1.0f : 0.0f;
    case 30:
        return CEngine::LevelToMeter(engine.GetFilter1InputMeter(part));
    case 31:
        return CEngine::LevelToMeter(engine.GetFilter2InputMeter(part));
    case 32:
        return CEngine::LevelToMeter(engine.GetPartOutputMeter(part));
    case 34:
        return CEngine::LevelToMeter(CEngine::ReadMeter(engine.masterMeterLeft));
    case 35:
        return CEngine::LevelToMeter(CEngine::ReadMeter(engine.masterMeterRight));
    case 172:
        return presetBrowser.GetFilterMode() ? 1.0f : 0.0f;
    case 173:
        return presetBrowser.GetFilterMode() ? 0.0f : 1.0f;
    default:
        return 0.0f;
    }
}

void CSynth::GetCommandText(int32_t id, char* out, size_t size) {
    if (!out || size == 0 || id == 176)
        return;
    char text[CProgram::kNameSize + 64] = {};
    if (InRange(id, 40, 55)) {
        program.GetProgramNameOfPart(id - 40, text);
        Cut(out, size, text);
        return;
    }
    if (InRange(id, 60, 75)) {
        Cut(out, size, program.GetBankName(id - 60));
        return;
    }
    switch (id) {
    case 1:
        Cut(out, size, "MIDI input device(s)");
        return;
    case 2: {
        // Until an output was found or chosen its name is a row of '0'
        // characters, which says nothing to the musician.
        const char* name = g_MIDIDevices.GetOutputName();
        const bool none = !*name || std::strspn(name, "0") == std::strlen(name);
        Cut(out, size, none ? "none" : name);
        return;
    }
    case 4: {
        // What plays, not what was asked for: a failed output reads "none".
        const char* name = g_AudioDevices.IsOpen() ? g_AudioDevices.GetDeviceName() : "";
        Cut(out, size, name && *name ? name : "none");
        return;
    }
    case 96:
        Cut(out, size, g_AudioDevices.GetDriverText());
        return;
    case 99:
        MarkSampleRate();
        std::snprintf(out, size, "%5.0f Hz", static_cast<double>(g_GlobalData.sampleRate));
        return;
    case 100:
    case 101: {
        const int32_t preset = Norm(parameters.GetGlobalParameter(id == 100 ? kGlobalReverbPreset : kGlobalChorusPreset));
        const CPIBase::Preset* table = id == 100 ? CPIBase::kReverbPresets : CPIBase::kChorusPresets;
        Cut(out, size, InRange(preset, 0, CPIBase::kPresets - 1) ? table[preset].name : "");
        return;
    }
    case 3:
        // The program takes no audio input; its menu says the same.
        Cut(out, size, "none");
        return;
    case 160: {
        const int32_t offset = std::atomic_ref<int32_t>(g_GlobalData.MIDIOutOffset).load(std::memory_order_relaxed);
        std::snprintf(out, size, "%5.3f ms", offset * 1000.0 / g_GlobalData.sampleRate);
        return;
    }
    case 36:
        std::snprintf(out, size, "%d/%s", engine.data.voicesInUse, perfMeter.GetText().c_str());
        return;
    case 5:
        program.GetProgramDisplayName(CurrentPart(), text);
        Cut(out, size, text);
        return;
    case 6:
        // The bank the current part plays from: the name stays right after
        // a bank is loaded and when another part is chosen.
        Cut(out, size, program.GetBankName(CurrentPart()));
        return;
    case 104:
        program.GetSlotName(program.GetSelectedBankNumber(), text);
        Cut(out, size, text);
        return;
    case 105:
        program.GetProgramDisplayName(-1, text);
        Cut(out, size, text);
        return;
    case 108:
        Cut(out, size, "UI Design");
        return;
    case 141: {
        // The field of the source menu names the armed source, as the
        // menu's check mark does.
        int armed = 0;
        for (int s = 0; s < 8; ++s)
            if (CPIBase::IsAssignSource(s))
                armed = s + 1;
        Cut(out, size, CUIMenuResource::TextOfValue(312, armed));
        return;
    }
    default:
        Cut(out, size, "command unknown");
        return;
    }
}

// ---------------------------------------------------------------------------
// Saving

namespace {

// The browser lists the presets of the preset folder and of its subfolders.
bool InPresetFolder(const char* path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(fs::path(g_GlobalData.PresetPath), ec);
    if (ec || folder.empty())
        return false;
    const fs::path parent = fs::weakly_canonical(fs::path(path), ec).parent_path();
    if (ec)
        return false;
    return parent == folder || parent.parent_path() == folder;
}

// A preset saved over one of the preset folder is filed under the words it
// was saved with: a line of the categories file, written for the preset it
// replaced, would otherwise win over its header's. Answers false, and why,
// when the categories file cannot be written.
bool FileUnderSavedWords(const char* path, const uint32_t* masks, std::string& why) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(fs::path(g_GlobalData.PresetPath), ec);
    const std::string file = fs::weakly_canonical(fs::path(path), ec).lexically_relative(folder).generic_string();
    const std::vector<CPreset>& entries = g_PresetPool.Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].file != file)
            continue;
        uint32_t filed[kCategoryGroups];
        entries[i].param.GetMasks(filed);
        if (std::equal(filed, filed + kCategoryGroups, masks))
            return true;
        return g_PresetPool.StoreMasks(i, masks, &why);
    }
    return true;
}

} // namespace

bool CSynth::SaveProjectFile() {
    const char* path = nullptr;
    if (!program.GetFileDialog().ChooseProjectFile(&path, true) || !path || !*path)
        return false;
    std::vector<uint8_t> image;
    int homeless = -1;
    bool built;
    {
        // The sound as it is now: the render call in flight is waited out, a
        // synthesizer suspended before stays so.
        EngineHold hold(*this);
        built = program.BuildProjectImage(image, &homeless);
    }
    if (!built) {
        char text[300];
        std::snprintf(text, sizeof(text),
                      "The project was not saved: its bank (the bank of part 1) has no free place left for "
                      "the sound of part %d. Play fewer programs of other banks, or free a program of "
                      "the bank of part 1 (\"new program\").",
                      homeless + 1);
        os::ShowMessageBox(text, "Error");
        return false;
    }
    return os::ReplaceFileOrSay(path, image.data(), image.size());
}

bool CSynth::SaveBankFile() {
    const char* path = nullptr;
    if (!program.GetFileDialog().ChooseBankFile(&path, true) || !path || !*path)
        return false;
    std::vector<uint8_t> image;
    {
        // Learnt controllers write records from the audio thread: the
        // render call in flight is waited out, as for a project.
        EngineHold hold(*this);
        program.BuildBankImage(image);
    }
    if (!os::ReplaceFileOrSay(path, image.data(), image.size()))
        return false;
    // The bank is the file now: the header names it as a load of the file would.
    char name[CProgram::kNameSize];
    program.GetFileDialog().GetBankName(name, sizeof name);
    program.SetSlotName(program.GetCurrentBankSlot(), name);
    return true;
}

bool CSynth::SavePresetFile() {
    const char* path = nullptr;
    if (!g_DlgFile.ChoosePresetFile(&path, true) || !path || !*path)
        return false;
    std::vector<uint8_t> image;
    {
        EngineHold hold(*this);
        program.BuildPresetImage(image);
    }
    // Filed under the categories the browser shows now (the filter, or the
    // words of the preset chosen last), so that it stays in the list that
    // is being browsed.
    uint32_t masks[kCategoryGroups];
    for (int g = 0; g < kCategoryGroups; ++g)
        masks[g] = presetBrowser.GetCategoryMask(g);
    if (image.size() >= static_cast<size_t>(CProgram::kPresetHeaderBytes))
        CPresetPool::WriteHeader(image.data(), masks);
    if (!os::ReplaceFileOrSay(path, image.data(), image.size()))
        return false;
    // A preset saved where the browser looks is listed at once.
    if (InPresetFolder(path)) {
        g_PresetPool.Scan(g_GlobalData.PresetPath);
        std::string why;
        if (!FileUnderSavedWords(path, masks, why)) {
            const std::string text = "The preset was saved, but its words are not kept after the program ends: " + why + ".";
            os::ShowMessageBox(text.c_str(), "Error");
        }
        presetBrowser.Rebuild();
        Refresh();
    }
    return true;
}
