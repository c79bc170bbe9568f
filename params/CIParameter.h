#pragma once
// The descriptor of one value a widget can be bound to, and the table of all
// of them.
//
// A descriptor says who owns a value (group), how it is addressed (index and
// sub), how it is shown (display type, texts, list menu) and its numeric
// frame; it holds no current value. Every widget embeds one as its binding,
// a copy of a row of `ParameterTable` found by its (group, index, sub)
// triple, which is what a layout file stores. The table is built before
// anything else and never changes afterwards, so its rows and texts may be
// shared freely.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

class CIParameter {
public:
    // Unbound: what a widget holds before it is bound.
    CIParameter();
    // A row with only its address; everything else as the unbound descriptor.
    CIParameter(uint32_t kind, uint32_t group, uint32_t index, uint32_t sub);
    // Every field. The context menu comes before the list here, the other way
    // round from the fields.
    CIParameter(uint32_t kind, uint32_t group, uint32_t index, uint32_t sub, uint32_t displayType,
                uint32_t flags, float scale, float min, float max, float defaultValue, float step,
                uint32_t contextMenuId, uint32_t listId, uint32_t moduleMask, const char* label,
                const char* name, const char* hint, uint8_t bipolar, uint8_t available = 1);
    // Copies share the texts; they are static and owned by the table.
    CIParameter(const CIParameter&) = default;
    CIParameter& operator=(const CIParameter&) = default;
    virtual ~CIParameter() = default;

    // Back to the unbound binding a widget starts from: address, display,
    // range, label and hint cleared. Kind, scale and name stay. The label
    // becomes "" rather than null, as every caption is drawn from it.
    void Reset();

    // The first table row with this triple, or null. Kind is not compared.
    static const CIParameter* Find(uint32_t group, uint32_t index, uint32_t sub);

    // The short label drawn beside a widget; never null ("" after Reset).
    const char* GetLabel() const { return label ? label : ""; }

    // Kinds.
    static constexpr uint32_t kValue = 0;    // owned by the synthesizer or editor
    static constexpr uint32_t kCommand = 1;  // handled by the user interface itself

    // Flags.
    static constexpr uint32_t kFlagSound = 0x20;    // carried as data only
    static constexpr uint32_t kFlagOneShot = 0x40;  // sends 1.0 on every press, nothing on release
    static constexpr uint32_t kFlagMomentary = 0x80;  // 1.0 on press, 0.0 on release

    uint32_t kind = kValue;
    uint32_t group = 0;
    uint32_t index = 0;
    uint32_t sub = 0;
    uint32_t displayType = 0;
    uint32_t flags = 0;
    float scale = 1.0f;
    float min = 0.0f;
    float max = 1.0f;
    float defaultValue = 0.0f;
    float step = 0.1f;
    uint32_t listId = 0;
    uint32_t contextMenuId = 0;
    uint32_t moduleMask = 0;
    const char* label = "";
    const char* name = "";
    const char* hint = nullptr;
    uint8_t bipolar = 0;
    uint8_t available = 1;
};

class CParameterTable;
// Fills the rows in table order (ParameterTableData.cpp). The rows are
// destroyed with the table, the last first.
void InitParameterTable(CParameterTable& table);

// Every descriptor of the program, in a fixed order: by owner in blocks, the
// sound parameters first. Built at start-up ahead of every other global.
class CParameterTable {
public:
    static constexpr size_t kRows = 829;

    CParameterTable() { InitParameterTable(*this); }
    CParameterTable(const CParameterTable&) = delete;
    CParameterTable& operator=(const CParameterTable&) = delete;

    size_t size() const { return m_count; }
    const CIParameter& operator[](size_t i) const { return m_rows[i]; }
    const CIParameter* begin() const { return m_rows; }
    const CIParameter* end() const { return m_rows + m_count; }

    // Used while building; the table is const afterwards.
    void Add(const CIParameter& row);
    // Keeps a text made by a building loop ("Part 7", "select part 3") as
    // long as the rows. A deque never moves what it already holds.
    const char* Keep(std::string text);

private:
    CIParameter m_rows[kRows];
    size_t m_count = 0;
    std::deque<std::string> m_texts;
};

extern const CParameterTable ParameterTable;
