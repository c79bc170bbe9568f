// The built-in envelope shapes of the envelope editor's menu: rows 0..5
// (AD, ADR, ADSR, AD1D2R, 16th, Loop) and the ten rhythmic rows 51..60.
// The rhythmic rows are generated from a step pattern so that each stays
// a loop of accented sixteenth notes with sync on.
#include <algorithm>

#include "editor/EnvelopeRecord.h"

namespace {

struct Row {
    int mode, count, sync, loopStart, loopEnd;
    float loopSlope;
    float t[8], l[8], s[8];
};

constexpr Row kFixed[6] = {
    {0, 3, 0, 2, 1, 0.0f, {0.0f, 0.022f, 2.063f}, {0, 1, 0}, {0, -0.342f, -0.73f}},           // AD
    {0, 4, 0, 2, 1, 0.0f, {0.0f, 0.02f, 0.6f, 1.6f}, {0, 1, 0.35f, 0}, {0, -0.3f, -0.6f, -0.7f}},  // ADR
    {0, 4, 0, 1, 2, 0.0f, {0.0f, 0.02f, 0.5f, 1.5f}, {0, 1, 0.6f, 0}, {0, -0.3f, -0.6f, -0.7f}},   // ADSR
    {0, 5, 0, 2, 3, 0.0f, {0.0f, 0.02f, 0.3f, 1.2f, 2.2f}, {0, 1, 0.55f, 0.4f, 0},
     {0, -0.3f, -0.5f, -0.2f, -0.7f}},                                                          // AD1D2R
    {},  // 16th: generated
    {0, 5, 0, 1, 3, 0.0f, {0.0f, 0.1f, 0.6f, 1.1f, 1.6f}, {0, 1, 0.2f, 1, 0}, {0, 0, 0.4f, -0.4f, -0.5f}},  // Loop
};

// Accent patterns of the rhythmic rows over 16 steps: 2 loud, 1 soft,
// 0 rest. Rows 51..60 use patterns 0..9; the 16th row is all loud.
constexpr const char* kPatterns[10] = {
    "2010201020102010", "2000201020002011", "2110211021102110", "2001001020010010",
    "2012012012012010", "2220222022202220", "2000200020002020", "2101101121011011",
    "2020110020201100", "2111111111111111"};

EnvelopeRecord FromFixed(const Row& r)
{
    EnvelopeRecord e;
    e.mode = r.mode, e.count = r.count, e.sync = r.sync, e.loopStart = r.loopStart,
    e.loopEnd = r.loopEnd, e.loopSlope = r.loopSlope;
    for (int i = 0; i < r.count; ++i) e.times[i] = r.t[i], e.levels[i] = r.l[i], e.slopes[i] = r.s[i];
    return e;
}

// A rest adds nothing; a note rises at once at its step and decays until
// the next note starts (the last one until the end of the bar).
EnvelopeRecord Rhythmic(const char* pattern)
{
    EnvelopeRecord e;
    e.mode = 1, e.sync = 1;
    const float step = 0.25f;
    int n = 0;
    e.times[n] = 0.0f, e.levels[n] = 0.0f, e.slopes[n] = 0.0f, ++n;
    for (int k = 0; k < 16; ++k) {
        if (pattern[k] == '0') continue;
        int next = k + 1;
        while (next < 16 && pattern[next] == '0') ++next;
        e.times[n] = step * float(k) + 0.002f, e.levels[n] = pattern[k] == '2' ? 1.0f : 0.55f, e.slopes[n] = 0.0f, ++n;
        e.times[n] = step * float(next), e.levels[n] = 0.0f, e.slopes[n] = -0.6f, ++n;
    }
    e.count = n;
    e.loopStart = 1;
    e.loopEnd = n - 1;
    return e;
}

struct Table {
    EnvelopeRecord fixed[6];
    EnvelopeRecord rhythmic[10];
    Table()
    {
        for (int i = 0; i < 6; ++i) fixed[i] = FromFixed(kFixed[i]);
        fixed[4] = Rhythmic("2222222222222222");
        for (int i = 0; i < 10; ++i) rhythmic[i] = Rhythmic(kPatterns[i]);
    }
};

}  // namespace

const EnvelopeRecord* BuiltinEnvelopeShape(int n)
{
    static const Table table;
    if (n >= 0 && n <= 5) return &table.fixed[n];
    if (n >= 51 && n <= 60) return &table.rhythmic[n - 51];
    return nullptr;
}
