#pragma once
// The synthesizer's parameter model: four tables of ParameterInfo rows that
// say what every addressable value means (scale, largest value, list menu,
// context menu, label, long name), plus the per-part state that follows the
// programs (synthesis type, assigned flags, volume factors).
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
};

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
};
