#pragma once
// The synthesizer's parameter model: four tables of ParameterInfo rows that
// say what every addressable value means (scale, largest value, list menu,
// context menu, label, long name), plus the per-part state that follows the
// programs (synthesis type, assigned flags, volume factors).
#include <atomic>
#include <cstdint>

#include "gui/CUIMenuResource.h"

class CEngine;
class CProgram;

// One row of the four tables.
struct ParameterInfo {
    int32_t id = 0;
    float scale = 128.0f;      // raw = normalized * scale
    float maximum = 128.0f;    // largest raw value (0 = no clamp)
    int32_t list = 0;          // menu whose items name the values, 0 = number
    int32_t menu = 0;          // context menu: 2 modulation + learn, 4 learn, 0 none
    const char* label = "n/a"; // short label beside a control
    const char* name = "";     // long name (part-sound rows only)
};

// What the parameter model needs from the GUI manager. The GUI manager
// implements it; without a window the pointer stays null and every GUI call
// is skipped.
class CPIBaseListener {
public:
    virtual ~CPIBaseListener() = default;
    virtual int GetCurrentPart() const = 0;
    virtual int GetPage() const = 0;
    virtual void SetPage(int page) = 0;
    virtual void NotifyParameterChanged() = 0;
    // --- modmatrix: begin (display texts) ---
    // Opens layout dialog `dialog` at (x, y) with its argument. A listener
    // without dialogs ignores it.
    virtual void OpenDialog(int x, int y, int dialog, int arg) {
        (void)x; (void)y; (void)dialog; (void)arg;
    }
    // --- modmatrix: end ---
};

// --- modmatrix: begin (shared number formatting and destination lookup) ---
// Display units of FormatNumber.
enum : int { kUnitPlain = 0, kUnitPercent = 1, kUnitHz = 2, kUnitDb = 3, kUnitSeconds = 4 };
// Text of a value with a precision chosen by its magnitude; out holds at
// least 128 characters. An unknown unit writes nothing.
void FormatNumber(float value, int unit, char* out);
// Tune text of a raw 0..100 value (50 = centre).
void FormatCents(float raw, char* out);
// Tempo-synced note length: writes its 7-character text and returns its
// length in ticks (96 per quarter note). out may be null.
float GetNoteLength(float x, char* out);
// Modulation destination 0..89 that a part-sound id maps to, or -1.
int GetModDestination(int id);
bool IsModDestination(int id);
// --- modmatrix: end ---

// A program-record value or engine target that the audio thread writes
// (learned controllers, the assignment refresh) while the GUI thread reads it
// to show it: one relaxed atomic word each way.
inline float LoadShared(const float& cell) {
    return std::atomic_ref<float>(const_cast<float&>(cell)).load(std::memory_order_relaxed);
}
inline void StoreShared(float& cell, float value) {
    std::atomic_ref<float>(cell).store(value, std::memory_order_relaxed);
}

// --- setparam: begin (curve helpers) ---
// Smoothing coefficient that brings a one-pole glide to 20 % of its distance
// in t seconds, per engine block (TimeToCoefficient) or per 50 ms tick
// (TimeToCoefficientFixed).
float TimeToCoefficient(float t);
float TimeToCoefficientFixed(float t);
// Gain of raw 0..127 on a straight dB line from low to high.
float DbCurve(float low, float high, float raw);
// Fine tune 0..100 (50 = centre) to pitch units of 1/192 octave per
// semitone: +-1/192 at the ends, square law in between.
float SquareLawAround50(float x);
// --- setparam: end ---

class CPIBase {
public:
    static constexpr int kPartSoundRows = 2272;
    static constexpr int kSetupRows = 128;
    static constexpr int kMixerRows = 32;
    static constexpr int kGlobalRows = 128;
    static constexpr int kLabelPages = 7;
    static constexpr int kLabelIds = 512;
    static constexpr int kParts = 16;

    CPIBase();
    virtual ~CPIBase();
    CPIBase(const CPIBase&) = delete;
    CPIBase& operator=(const CPIBase&) = delete;

    // Links, each set once at start-up.
    void SetEngine(CEngine* engine);
    void SetProgramStore(CProgram* store);
    void SetGUI(CPIBaseListener* gui);
    CEngine* GetEngine() const { return m_engine; }
    CProgram* GetProgramStore() const { return m_program; }
    CPIBaseListener* GetGUI() const { return m_gui; }
    CUIMenuResource& GetMenuView() { return m_menu; }

    float* GetCurrentProgramValues();

    // Part-sound values.
    void SetParameter(float* record, float normalized, int part, int id, bool setAtOnce,
                      bool fromUpdate);
    float GetParameter(const float* record, int part, int id) const;
    const char* GetParameterDisplay(const float* record, int part, int id);
    const char* GetParameterLabel(int group, int id) const;
    int GetParameterMenu(int group, int id) const;

    void SetSampleRate(int rate);
    void SetPartSynthesisType(int part, int type);
    int GetPartSynthesisType(int part) const;
    void RefreshPartPage();
    void ResetPartVoices(int part);
    void Get8DPoint(int point, double* x, double* y) const;

    // Part-mixer and global values.
    bool SetMixerParameter(int id, int part, float normalized);
    float GetMixerParameter(int id, int part) const;
    const char* GetMixerParameterDisplay(int id, int part);
    void SetGlobalParameter(int id, float normalized);
    float GetGlobalParameter(int id) const;
    const char* GetGlobalParameterDisplay(int id);
    void ApplyReverbPreset(int n);
    void ApplyChorusPreset(int n);

    // Per-block refresh of controller assignments (audio thread).
    void UpdateAssignedSlice(int counter);

    // --- modmatrix: begin (modulation matrix, controller assignments, display) ---
    static constexpr int kRoutings = 20;
    static constexpr int kRoutingSources = 37;
    static constexpr int kRoutingDestinations = 90;
    static constexpr int kAssignments = 64;
    static constexpr int kAssignBase = 416;  // first record slot of the assignment entries

    // Modulation matrix: engine codes and depth of routing i.
    void SetRoutingTables(int part, int routing, int source, int destination);
    void UpdateRoutingDepth(int part, int amountId, float rawAmount);
    // Writes the amount text (at most 128 characters) into text.
    void GetRoutingDepthText(int part, int amountId, float rawAmount, char* text);
    void OnRoutingSourceChanged(int part, int sourceId, int source);
    void OnRoutingDestinationChanged(int part, int destinationId, int destination);
    // Knob lookups on the record of the part being edited.
    int FindOrAddRouting(int id);
    int FindNextRouting(int id);
    bool HasRouting(int group, int id);

    // Controller assignments (8D pad axes onto part-sound values).
    static bool IsAssignArmed();
    static bool IsAssignSource(int s);
    void ArmAssignSource(int s, bool on);
    bool FindAssignment(int part, int id, int* amount);
    void SetAssignment(int part, int id, int amount);
    void RebuildAssignedFlags(int part);
    bool IsAssigned(int part, int id) const;
    float GetModulatedValue(int part, int id, float normalized) const;

    // Reaction of the model to an edit in the GUI (group 0 only).
    void OnEditorValueChanged(int group, int id, float normalized);
    // --- modmatrix: end ---

    // --- setparam: begin (setting values, mixer and global values) ---
    static constexpr int kInputSelectorMax = 47;
    static constexpr int kOscInputOff = 1428;      // "off" of the oscillator modulation switches
    static constexpr int32_t kUserShapeTable = 16; // part cell 182: the part's own user shape
    static constexpr int kPresets = 24;
    static constexpr int kPrimeCount = 1900;
    static constexpr int32_t kLongestLine = 16381;

    // Engine input code of an input-selector list value, -1 for values that
    // name no module (22..29 and anything outside 0..47).
    static int32_t InputCode(int listValue);
    void UpdateModuleMask(int part);
    // Derives the master reverb's working cells from the global values.
    void RecomputeAll();
    void AllocateVoices();
    bool ApplyAllMixer();
    void ApplyAllGlobal();
    void SetPartVolumeFactor(int part, float factor);
    // Multi-sample switches asked for on the audio thread wait here until
    // the GUI thread's next tick: opening a file there is not allowed.
    void ServicePendingRequests();
    bool HasPendingRequest(int part, int osc) const;
    // First entry of the prime table not below truncate(x); lengths beyond the
    // table give the longest line, 16381.
    static int32_t PrimeAtLeast(double x);
    static const int32_t* PrimeTable();   // 1900 primes, then 0

    struct Preset {
        char name[32];
        int32_t value[5];
    };
    static const Preset kReverbPresets[kPresets];
    static const Preset kChorusPresets[kPresets];

    // Marks the calling thread as the audio thread for its lifetime; the
    // render call holds one, so that SetParameter knows it must not open
    // files.
    class AudioThreadScope {
    public:
        AudioThreadScope() : m_previous(AudioThreadFlag()) { AudioThreadFlag() = true; }
        ~AudioThreadScope() { AudioThreadFlag() = m_previous; }
        AudioThreadScope(const AudioThreadScope&) = delete;
        AudioThreadScope& operator=(const AudioThreadScope&) = delete;

    private:
        bool m_previous;
    };
    static bool OnAudioThread() { return AudioThreadFlag(); }
    // --- setparam: end ---

    // Table access (ids outside a table give its undefined row).
    const ParameterInfo& PartSoundRow(int id) const;
    const ParameterInfo& SetupRow(int id) const;
    const ParameterInfo& MixerRow(int id) const;
    const ParameterInfo& GlobalRow(int id) const;
    const char* GetLabelOverride(int page, int id) const;

    float GetVolumeFactor(int part) const;
    int GetSampleEditOscillator() const { return m_sampleEditOsc; }

    // Row definers used while the tables are built.
    void DefineParameter(int id, const char* label, const char* name, float scale, int list,
                         int menu);
    void DefineSetupParameter(int id, const char* label, float scale, int list);
    void DefineMixerParameter(int id, const char* label, float scale, int list);
    void DefineGlobalParameter(int id, const char* label);

private:
    void FillPartSoundRows();   // table data, ParameterInfoData.cpp
    void FillOtherRows();       // table data, ParameterInfoData.cpp
    void FillLabelOverrides();  // table data, ParameterInfoData.cpp
    static float ListMaximum(int list);
    static bool ValidPart(int part) { return part >= 0 && part < kParts; }

    CEngine* m_engine = nullptr;
    CPIBaseListener* m_gui = nullptr;
    CProgram* m_program = nullptr;
    char m_display[128] = "n/a";
    CUIMenuResource m_menu;
    int m_synthType[kParts] = {};
    ParameterInfo m_partSound[kPartSoundRows];
    ParameterInfo m_setup[kSetupRows];
    ParameterInfo m_mixer[kMixerRows];
    ParameterInfo m_global[kGlobalRows];
    const char* m_labelOverride[kLabelPages][kLabelIds] = {};
    uint8_t m_assigned[kParts][kLabelIds] = {};
    int m_sampleEditOsc = 0;
    float m_volumeFactor[kParts] = {};

    // --- modmatrix: begin (private) ---
    float* PartRecord(int part) const;
    const char* DisplayText(const float* record, int part, int id);
    int SearchRouting(float* record, int destination, int first);
    void RebuildSpectrumWaves(int part, const float* record);
    // The 8D-pad axis that knob drags assign to: -1 none, else 0..7. One for
    // the whole process, like the menu whose check marks show it.
    static int s_armedSource;
    int m_rememberedRouting = -1;
    // --- modmatrix: end ---

    // --- setparam: begin (private) ---
    void SetSoundRule(float* record, int part, int id, float raw, int n, int storedN,
                      bool setAtOnce, bool fromUpdate);
    void SetTarget(int part, int id, float v, bool setAtOnce);
    void SetRecordF(int part, int id, float v);
    void SetRecordI(int part, int id, int32_t v);
    void Reapply(float* record, int part, int id, bool setAtOnce, bool fromUpdate);
    void SetOscSemitone(float* record, int part, int osc, int n, int storedN, bool fromUpdate);
    void SetOscTune(float* record, int part, int osc, float raw, int n, int storedN);
    void SetOscWaveform(float* record, int part, int osc, int id, int n, int storedN);
    void SwitchMultiSample(int part, int osc);
    void SetDividerCells(int part);
    void SetDelayFilter(int part);
    void SetDistortionFilters(int part);
    void ClearVoiceStates(int part, int first, int count, int flagCell, int32_t flag);
    void ReleaseEnvelope(int part, int envelope);
    void SetGlobalRaw(int id, float raw);
    void ApplyPreset(const Preset& preset, const int* ids, const int* values, int count);
    void Notify();
    // The calling thread's flag. Not a thread_local class member: GCC 12's
    // undefined-behaviour check takes the address of one, reached from
    // another source file, for null.
    static bool& AudioThreadFlag();
    std::atomic<uint8_t> m_pendingSample[kParts][3] = {};
    // A change notice raised on the audio thread, handed to the GUI on its tick.
    std::atomic<uint8_t> m_pendingNotice{0};
    // --- setparam: end ---
};
