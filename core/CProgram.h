#pragma once
// The program store: 16 bank slots of 128 programs (names, records, labels,
// multi-sample names), which slot and program each of the 16 parts plays,
// the part table, the global block, the per-type templates, the clipboard
// and the staging bank a project is read into. The big arrays (about 20 MB)
// live in one heap block allocated by the constructor.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/CDlgFile.h"

class CSequencer;
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
    // File layouts: a bank or project header, a preset's skipped header,
    // the current stored record and the two preset body sizes.
    static constexpr int kStoredRecordBytes = 6112;
    static constexpr int kStoredRecordV20Bytes = 5344;
    static constexpr int kPresetHeaderBytes = 60;
    static constexpr int kPresetBodyV30 = 6532;
    static constexpr int kPresetBodyV1 = 5764;
    static constexpr int kBankFileBytes = kHeaderBytes + kPrograms * (kNameSize + kStoredRecordBytes +
                                                                     kLabelBytes + kSampleBytes);

    struct Storage;

    CProgram();
    virtual ~CProgram();
    CProgram(const CProgram&) = delete;
    CProgram& operator=(const CProgram&) = delete;

    // Every slot zero, then the defaults of a fresh program record.
    static void SetDefaults(float* record);
    // Those defaults, made once.
    static const float* DefaultRecord();
    // The template file of synthesis type t in the program folder; null for any other t.
    static const char* TemplateFileName(int t);
    // Slot 0 of a record as a synthesis type; anything outside 0..6 reads 0.
    static int TypeOf(const float* record);
    // The part table row and the global block of a fresh store.
    static void SetPartRowDefaults(int part, float* row);
    static void SetGlobalDefaults(float* globals);

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
    // The multi-sample name i of the program that part plays.
    void GetPartSampleName(int part, int i, char* out) const;
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

    // File layouts by version. Bytes of one stored bank program after its
    // 32-byte name (record plus, from version 4 on, labels and multi-sample
    // names); the bank list preview skips programs by it.
    static long BankProgramBytes(int version);
    // Only these versions were ever written; anything else is refused.
    static bool IsKnownVersion(int version);
    // The body size a preset of this version needs; 0 for any other version.
    static int FxpBodySize(int version);
    // The exact size of a project file of this version; 0 when unknown.
    static long ProjectFileBytes(int version);
    // The program folder joined with a relative name.
    static void ProgramPath(char* out, size_t size, const char* relative);

    // Conversions of older stored records, each in place on one record.
    // `old` holds the 512 widened values of a version-0 record.
    static void ConvertOldRecord(float* record, const float* old);
    // Versions 0..2: modulation amounts of pitch-like destinations rescaled.
    static void RescaleV2Amounts(float* record);
    void ConvertV4Record(float* record);
    void ClearUnusedFeatures(float* record);
    static void FillDefaultsV5(float* record);
    static void FillDefaultsV20(float* record);

    // The sequencer that reads the sequencer and song sections of a project
    // (none: those sections are checked for size only).
    void SetSequencer(CSequencer* sequencer) { m_sequencer = sequencer; }

    // Files. Every reader checks the whole file (known version, kind 0 or
    // 1, the size the version needs) before it changes anything, and
    // answers false for a file it refuses. The path forms read the file
    // into memory and hand it to the byte forms, which decode it.
    //
    // A float the file holds that is not a finite number (NaN, infinity)
    // takes the value a fresh store has in that place; the file is still
    // taken, and one line per file in the debug log says how many.
    bool LoadFactory();
    bool ReadTemplate(int t, const char* fileName);
    // A whole template file: the preset header, then a body of exactly the
    // size its version needs.
    // why (when given) says what a refused file lacks, for the log.
    bool ReadTemplateBytes(int t, std::span<const uint8_t> file, std::string* why = nullptr);
    bool OpenBank();
    bool OpenProject();
    bool ReadBank(const char* path, const char* bankName);
    bool ReadBankBytes(std::span<const uint8_t> file, const char* bankName, std::string* why = nullptr);
    bool ReadProject(const char* path);
    // source names the project in the debug log.
    bool ReadProjectBytes(std::span<const uint8_t> file, const char* source, std::string* why = nullptr);
    bool ParseFxpBody(const uint8_t* body, int size, char* name, float* record, uint8_t* labels,
                      uint8_t* sampleNames);
    bool LoadFxpBodyToCurrent(const uint8_t* body, int size);
    // Why a preset body (the bytes after the 60-byte header) is refused.
    static std::string PresetBodyProblem(const uint8_t* body, size_t size);
    void NameSongBank();
    // The bank list preview of a bank file's bytes (which may be cut short
    // anywhere): "NNN name" for each program the file holds, "NNN (empty)"
    // for the rest.
    static void PreviewBankNames(std::span<const uint8_t> file, char (*entries)[kNameSize]);

    // Writers, the readers' inverse in the newest version (31). Each builds
    // the whole file in memory. A bank: the current part's bank slot with
    // its header. A preset: a 60-byte header and the current program's
    // body. A project: the bank part 0 plays, with the program of every
    // part that plays another bank put into a place of it that holds
    // nothing else (an untouched "new program"); the part table with the
    // place of each part's program in field 15; the globals; then the
    // sequencer and song sections (zero without a sequencer). False, and
    // the first part that found no place, when the 128 places cannot hold
    // the bank's programs and every part's.
    void BuildBankImage(std::vector<uint8_t>& out);
    void BuildPresetImage(std::vector<uint8_t>& out);
    bool BuildProjectImage(std::vector<uint8_t>& out, int* homelessPart = nullptr);

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
    // Reads one stored bank program of a version (record, conversions,
    // labels and multi-sample names) into the given program; answers how
    // many floats were not finite and took their defaults.
    int DecodeBankProgram(const uint8_t* in, int version, float* record, uint8_t* labels,
                           uint8_t* sampleNames);
    void FillNewPrograms(int slot, int first, int t);
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
    CSequencer* m_sequencer = nullptr;
    std::unique_ptr<Storage> m_store;
};
