#pragma once
// The part values that the per-voice control stages read, taken once per
// part and block (engine/CEngineControl.cpp).
#include <cstdint>

#include "engine/CTLBase.h"
#include "engine/EngineCells.h"

namespace engine {

struct PartControl {
    int part = 0;
    Cells P{nullptr};
    uint32_t off = 0;
    float factor = 0.0f;  // ramp factor (the block's share per sample)
    int shift = 5;
    // Modulation routes whose source cell is in the record, in order; a
    // target outside the record is -1.
    struct Route {
        int32_t source, add, mul;
        int index;
    };
    Route routes[20];
    int routeCount = 0;
    // Cells 1..64 as every voice starts them: the part's values, with the
    // gain already applied where no route reads or writes the cell or its
    // accumulator (the product is then the same for every voice).
    uint32_t head[65] = {};
    // The gains left to each voice: target cell and whether a route writes
    // its accumulator (else the accumulator stays at 1).
    struct Gain {
        int cell, index;
        bool routed;
    };
    Gain gains[18];
    int gainCount = 0;
    // The voice's own cells 226..229 take the unit gain (no route writes
    // their accumulators): four at once.
    bool unitTail = false;
    // LFOs: the increment when no route moves the rate (the same for every
    // voice), the wave and the tempo sync.
    bool lfoShared[4] = {};
    int32_t lfoIncrement[4] = {};
    bool lfoTempo[4] = {};
    int32_t lfoWave[4] = {};
    int32_t egTrigger[4] = {};
    int32_t egDelay[4] = {};
    int32_t egAfterAttack[4] = {};
    int32_t filterType[2] = {};
    // Types 0..5: the filter's table reads, the same for every voice, so
    // that four voices are set up at once.
    struct FilterPlan {
        bool lanes = false;
        const CTLBase::Segment* first[3] = {};   // coefficients 0..2, read at y2 when firstAtY2
        const CTLBase::Segment* second[3] = {};  // coefficients 3..5 (none: three guards)
        bool firstAtY2 = false;
        const CTLBase::Segment* curve = nullptr;
        bool weightFromCurve = false;
    };
    FilterPlan filterPlan[2];
    int waveSlot[3] = {};
    // Multi-segment envelopes.
    int megCount[4] = {};
    int megLoopStart[4] = {};
    int megLoopEnd[4] = {};
    bool megOwn[4] = {};
    bool megFreeRunning = false;
    bool megHeldByPart = false;
    bool megTempo[4] = {};
    bool powerLayer[3] = {};
    int32_t powerSource[3] = {};
    bool terrain = false;
    // The part record words the values above were taken from (routes, list
    // values, envelope limits); while they stay the same, the values are
    // kept from block to block and only what moves is taken again.
    static constexpr int kKeyWords = 181;
    uint32_t key[kKeyWords] = {};
    bool valid = false;
    // Head cells that get the unit gain (the others are copied as they are).
    int headGain[14] = {};
    int headGainCount = 0;
};

} // namespace engine

