#pragma once
// The program store: 16 bank slots of 128 programs (names, records, labels,
// multi-sample names), which slot and program each of the 16 parts plays,
// the part table, the global block, the per-type templates, the clipboard
// and the staging bank a project is read into. The big arrays (about 20 MB)
// live in one heap block allocated by the constructor.
#include <cstdint>
#include <memory>

#include "platform/CDlgFile.h"

class CUIMenuResource;

class CProgram {
public:
    static constexpr int kParts = 16;
    static constexpr int kSlots = 16;
    static constexpr int kPrograms = 128;
    static constexpr int kRecordSize = 2272;
    static constexpr int kNameSize = 32;
    static constexpr int kLabelCount = 8;
    static constexpr int kLabelSize = 16;
    static constexpr int kLabelBytes = kLabelCount * kLabelSize;  // 128
    static constexpr int kSampleNameSize = 84;
    static constexpr int kSampleBytes = 256;
    static constexpr int kHeaderBytes = 1024;
    static constexpr int kPartFields = 32;
    static constexpr int kGlobalFields = 128;
    static constexpr int kTemplates = 8;
    static constexpr int kSynthTypes = 7;

    struct Storage;

    CProgram();
    virtual ~CProgram();
    CProgram(const CProgram&) = delete;
    CProgram& operator=(const CProgram&) = delete;

    // Every slot zero, then the defaults of a fresh program record.
    static void SetDefaults(float* record);
    // Slot 0 of a record as a synthesis type; anything outside 0..6 reads 0.
    static int TypeOf(const float* record);

    // Accessors.
    float* GetProgramData(int part);
    float* GetCurrentProgramData();
    int GetProgramType(int part) const;
    float* GetPartRow(int part);
    float* GetGlobals();
    int GetPartSetting7(int part) const;
    void SetCurrentPart(int part);
    int GetCurrentPart() const { return m_currentPart; }
    int GetCurrentProgramNumber() const { return m_currentProgram; }
    int GetCurrentBankSlot() const;
    int GetPartBankSlot(int part) const;
    int GetPartProgramNumber(int part) const;
    bool IsSlotUsed(int slot) const;
    uint32_t GetBankKind(int slot) const;
    void SetBankKind(int slot, uint32_t kind);
    bool IsCombinationBank(int part) const;
    float* GetTemplate(int t);
    float* GetProgramRecord(int slot, int program);
    char* GetProgramNameField(int slot, int program);

    void SetProgram(int n);
    void SetPartProgram(int part, int bankSlot, int n);
    int TrySetPartProgram(int part, int n);

    void GetLabel(int i, char* out) const;
    void SetLabel(int i, const char* text);
    void GetSampleName(int i, char* out) const;
    void SetSampleName(int i, const char* text);

    const char* GetCurrentProgramName() const;
    void CopyProgramName(int n, char* out) const;
    void SetProgramName(int n, const char* text);
    const char* GetBankName(int part) const;
    const char* GetCurrentBankName() const;
    void GetSlotName(int n, char* out) const;
    void SetSlotName(int slot, const char* name);
    void GetProgramDisplayName(int part, char* out) const;
    void GetProgramNameOfPart(int part, char* out) const;
    void SelectBankSlot(int n);
    int GetSelectedBankNumber() const { return m_selectedBankNumber; }
    void SetSelectedListEntry(int n) { m_selectedListEntry = n; }
    int GetSelectedListEntry() const { return m_selectedListEntry; }
    void SetCurrentNameText(const char* text);
    const char* GetCurrentNameText() const { return m_currentNameText; }

    void AssignBankSlot(int part, const char* bankName);
    void BuildBankMenu(int part, CUIMenuResource& menu);
    void BuildProgramMenu(CUIMenuResource& menu);

    // Edit operations on the current program.
    void InitProgram(int t);
    void CopyProgram();
    void PasteProgram();
    void InitKeepingClipboard();
    void PasteSection();
    void PasteModulation();
    int FindNewProgram() const;
    void RandomProgram();
    // The second argument (on/off as the command passes it) is not needed:
    // the slot's kind decides.
    void ToggleCombinationBank(int part, int on = 0);
    bool NewBank(int t);
    // The store's own file choosers (tests put in a chooser of their own).
    CDlgFile& GetFileDialog() { return m_dlgFile; }

    // Files.
    bool LoadFactory();
    bool ReadTemplate(int t, const char* fileName);
    bool OpenBank();
    bool OpenProject();
    bool ReadBank(const char* path, const char* bankName);
    bool ReadProject(const char* path);
    bool ParseFxpBody(const uint8_t* body, int size, char* name, float* record, uint8_t* labels,
                      uint8_t* sampleNames);
    bool LoadFxpBodyToCurrent(const uint8_t* body, int size);
    void NameSongBank();

private:
    static int ClampPart(int part);
    // Writes the plain name (or "none" / the bank list entry) of what the
    // part plays; returns its program number, -1 when it is not a program.
    int NameCommon(int part, char* out) const;
    uint8_t* LabelsOf(int slot, int program);
    uint8_t* SampleNamesOf(int slot, int program);
    int FirstUnusedSlot() const;
    bool SlotPlayedByOther(int part, int slot) const;
    bool WriteNewBankFile(const char* path, const char* bankName, int t);
    void ReadNumberedBankNames(int n);
    void FillProgramMenuTexts(CUIMenuResource& menu, int base, int slot, const char* normalFormat,
                              char (*texts)[kNameSize]);

    uint32_t m_partBankSlot[kParts] = {};
    int32_t m_partProgram[kParts] = {};
    uint8_t m_slotUsed[kSlots] = {};
    int32_t m_currentPart = 0;
    int32_t m_currentProgram = 0;
    int32_t m_selectedBankNumber = 0;
    int32_t m_selectedListEntry = 0;
    char m_currentBankName[32] = {};
    char m_currentNameText[33] = {};
    CDlgFile m_dlgFile;
    uint8_t m_dialogBusy = 0;
    std::unique_ptr<Storage> m_store;
};
