#pragma once
// The program store's big arrays, shared by the store and its file readers.
#include <cstdint>

#include "core/CProgram.h"

// Everything big lives here, allocated once by the constructor.
struct CProgram::Storage {
    char names[kSlots][kPrograms][kNameSize];
    float records[kSlots][kPrograms][kRecordSize];
    uint8_t headers[kSlots][kHeaderBytes];
    uint8_t labels[kSlots][kPrograms][kLabelBytes];
    uint8_t sampleNames[kSlots][kPrograms][kSampleBytes];
    uint32_t bankKind[kSlots];

    // Per-part scratch used while older file records are converted.
    float scratchRecord[kParts][kRecordSize];
    uint8_t scratchLabels[kParts][kLabelBytes];
    uint8_t scratchSampleNames[kParts][kSampleBytes];

    // Staging bank a project is read into.
    char stagingNames[kPrograms][kNameSize];
    float stagingRecords[kPrograms][kRecordSize];
    uint8_t stagingLabels[kPrograms][kLabelBytes];
    uint8_t stagingSampleNames[kPrograms][kSampleBytes];
    uint32_t stagingKind;

    float partTable[kParts][kPartFields];
    float globals[kGlobalFields];

    char templateName[kNameSize];
    float templates[kTemplates][kRecordSize];
    uint8_t templateLabels[kLabelBytes];
    uint8_t templateSampleNames[kSampleBytes];

    char bankNames[kPrograms][kNameSize];      // first 16: names of the bank slots
    char numberedBanks[kPrograms][kNameSize];  // texts of the bank list menu
    char bankMenuTexts[kParts][kPrograms][kNameSize];
    char programMenuTexts[kPrograms][kNameSize];

    float clipRecord[kRecordSize];
    uint8_t clipLabels[kLabelBytes];
    uint8_t clipSampleNames[kSampleBytes];
    char clipName[kNameSize];
    uint8_t clipValid;
};
