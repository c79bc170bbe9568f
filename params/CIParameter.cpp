#include "params/CIParameter.h"

#include "os/InitOrder.h"

CIParameter::CIParameter() = default;

CIParameter::CIParameter(uint32_t kind_, uint32_t group_, uint32_t index_, uint32_t sub_)
    : kind(kind_), group(group_), index(index_), sub(sub_)
{
}

CIParameter::CIParameter(uint32_t kind_, uint32_t group_, uint32_t index_, uint32_t sub_,
                         uint32_t displayType_, uint32_t flags_, float scale_, float min_, float max_,
                         float defaultValue_, float step_, uint32_t contextMenuId_, uint32_t listId_,
                         uint32_t moduleMask_, const char* label_, const char* name_,
                         const char* hint_, uint8_t bipolar_, uint8_t available_)
    : kind(kind_), group(group_), index(index_), sub(sub_), displayType(displayType_),
      flags(flags_), scale(scale_), min(min_), max(max_), defaultValue(defaultValue_),
      step(step_), listId(listId_), contextMenuId(contextMenuId_), moduleMask(moduleMask_),
      label(label_ ? label_ : ""), name(name_), hint(hint_), bipolar(bipolar_),
      available(available_)
{
}

void CIParameter::Reset()
{
    group = index = sub = 0;
    displayType = flags = 0;
    listId = contextMenuId = moduleMask = 0;
    min = 0.0f;
    max = 1.0f;
    defaultValue = 0.5f;
    step = 0.1f;
    label = "";
    hint = nullptr;
    bipolar = 0;
    available = 1;
}

const CIParameter* CIParameter::Find(uint32_t group, uint32_t index, uint32_t sub)
{
    for (const CIParameter& row : ParameterTable)
        if (row.group == group && row.index == index && row.sub == sub) return &row;
    return nullptr;
}

void CParameterTable::Add(const CIParameter& row)
{
    if (m_count < kRows) m_rows[m_count++] = row;
}

const char* CParameterTable::Keep(std::string text)
{
    return m_texts.emplace_back(std::move(text)).c_str();
}

const CParameterTable ParameterTable ZAVO_INIT(ZAVO_PRIO_PARAMETER_TABLE);
