#pragma once
// Voices of one part rendered side by side, one voice per vector lane.
//
// The voices of a part share its module mask, routing and switches, so their
// per-sample chains differ only in their numbers: one pass of the chain runs
// four voices (SSE2) or eight (AVX2, where the processor has it) at once.
// Every lane does exactly the float operations the one-voice render does, in
// the same order, so the result is the same bit for bit; the recursive
// filters stay per voice because each lane holds its own state.
//
// The cells a routing code can name live here as rows of lanes (cell c of
// lane l at cells[c][l]): the audio records are copied in before the block
// and back after it, so routed inputs read the value the module before wrote
// in this sample, as they do in the record.
//
// Parts with a multi-sample oscillator render one voice at a time.
//
// Chain order of one sample (the one-voice render numbers its steps alike):
//   1. terrain filter          3. modulation ramps
//   4. oscillator 1 (unison, sync, pulse)
//   5. oscillators 2, 3 (FM)   6. sub-harmonic pulses
//   7. spectral oscillator     8. ring and amplitude modulators
//   9. white and pink noise   10. mixer
//  11. waveguide              12. shaper
//  13. filter 1               14. filter 2
//  15. formant filter         16. output stage
//  17. level and pan into the voice's mix
//
// This header holds plain data only: the kernels are built twice (for SSE2
// and for AVX2) and must not share inline code with the rest of the engine.
#include <cstdint>

#include "engine/CTLBase.h"
#include "engine/CTerrainFilter.h"

namespace voice_lanes {

constexpr int kMaxLanes = 8;
constexpr int kCells = 358;  // cells of a voice audio record
constexpr int kMaxFrames = 32;

struct FilterSetup {
    bool on = false;
    bool onePole = false;
    float g1 = 0.0f, g2 = 0.0f;
    int input = 0, r1 = 0, r2 = 0;
    bool operator==(const FilterSetup&) const = default;
};

// What the chain of a group takes from the parts of its voices, fixed for
// the block: voices of several parts whose set-ups are equal render side by
// side in one group.
struct PartSetup {
    const CTLBase::Segment* saturation = nullptr;  // filter input saturation
    const CTLBase::Segment* outputClip = nullptr;
    const CTLBase::Segment* shaper = nullptr;
    uint32_t off = 0;
    int divider = 0;
    int groups = 0;  // samples the voices render (frames >> divider)
    bool running[3] = {};
    bool fm[3] = {};
    int inFm[3] = {};
    bool unison = false;
    bool pulse1 = false, pulse2 = false;
    bool formantSeries = false;
    int inTerrain = 0, inShaper = 0, inGuide1 = 0, inGuide2 = 0, inFormant = 0;
    bool syncA = false, syncB = false;
    int sync1 = 0, sync2 = 0;
    int inRing1 = 0, inRing2 = 0, inAmp = 0, inAmpMod = 0;
    int inMix[5] = {};
    FilterSetup filter[2];
    int outCell = 0, inFade = 0, inDirectL = 0, inDirectR = 0;
    uint32_t quantMask = 0;
    bool operator==(const PartSetup&) const = default;
};

// The cells a group copies from the records into its rows before the block
// and back after it, the same for every group of one set-up. The eight-lane
// kernel moves them in blocks of eight cells (cell c in block c / 8); cells
// past the last whole block move one by one.
constexpr int kBlockCells = kCells & ~7;
struct CellMoves {
    int in[kCells] = {};
    int countIn = 0;
    int out[kCells] = {};
    int countOut = 0;
    uint64_t blocksIn = 0, blocksOut = 0;
    int tailIn[kCells - kBlockCells] = {};
    int countTailIn = 0;
    int tailOut[kCells - kBlockCells] = {};
    int countTailOut = 0;
};

// One group of voices, filled by the engine. Lanes beyond `lanes` run on a
// spare record and their results are dropped.
struct Group : PartSetup {
    int lanes = 0;
    uint32_t* record[kMaxLanes] = {};
    const CTLBase::Segment* wave[3][kMaxLanes] = {};
    // Spectral sub-oscillator k of each lane: its four region tables (Y1,
    // X1, Y2, X2; silent ones where it is off) and whether it runs.
    const CTLBase::Segment* spectrum[6][4][kMaxLanes] = {};
    bool spectrumOn[6][kMaxLanes] = {};
    CTerrainFilter* terrain[kMaxLanes] = {};
    float* ring[kMaxLanes] = {};       // waveguide lines
    uint32_t guideDelay[kMaxLanes] = {};

    // Cells copied into the rows before the block and out after it.
    const CellMoves* moves = nullptr;

    // Per lane: noise, meters and output, in and out.
    uint32_t seed[kMaxLanes] = {};
    float pink[6][kMaxLanes] = {};
    float peak1[kMaxLanes] = {}, peak2[kMaxLanes] = {}, peakOut[kMaxLanes] = {};
    float power[kMaxLanes] = {};
    // The left and right value each lane adds at each rendered sample.
    float left[kMaxFrames][kMaxLanes] = {}, right[kMaxFrames][kMaxLanes] = {};

    alignas(64) uint32_t cells[kCells][kMaxLanes] = {};
};

// Lanes of the widest kernel this processor runs.
int LaneCount();
// Tests: the four-lane kernel even where AVX2 is there (set while nothing
// renders).
void LimitToSse2(bool limit);
// Kernels: four lanes with SSE2, eight with AVX2. Render runs `width` lanes
// (4, or 8 where LaneCount() is 8).
void RenderSse2(Group& g);
void RenderAvx2(Group& g);
void Render(Group& g, int width);
// Two groups of one set-up, side by side in one pass.
void RenderAvx2Pair(Group& a, Group& b);
void RenderPair(Group& a, Group& b, int width);
// Adds lanes 0..lanes-1, lane after lane, each to its interleaved stereo
// mix (mix[l]; lanes of one mix next to each other) whose frame n is
// rendered sample n (no sub-sampling). Answers how many leading frames it
// added; the caller adds the rest.
int AddToMixAvx2(const Group& g, int lanes, float* const* mix);
int AddToMix(const Group& g, int lanes, float* const* mix);

} // namespace voice_lanes
