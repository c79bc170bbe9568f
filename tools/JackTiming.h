#pragma once
// The timing figures of a synthesizer played through JACK, worked out the
// same way by the benchmark (bench/JackMidiTiming.cpp) and by the harness
// that measures the real program (tools/JackPlayer.cpp): when each note
// played at a known frame is heard in a recording of the output, and how
// far MIDI events sent out to a steady beat lie from a grid fitted to them.
// Frames throughout; nothing here talks to a server.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace jacktiming {

struct Summary {
    size_t count = 0;
    double mean = 0.0;
    double median = 0.0;
    double stdDev = 0.0;  // about the mean
    double min = 0.0;
    double max = 0.0;
};

inline Summary Summarize(std::vector<double> values) {
    Summary s;
    s.count = values.size();
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    s.min = values.front();
    s.max = values.back();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    for (double v : values) s.mean += v;
    s.mean /= static_cast<double>(n);
    for (double v : values) s.stdDev += (v - s.mean) * (v - s.mean);
    s.stdDev = std::sqrt(s.stdDev / static_cast<double>(n));
    return s;
}

// Per note played at frame played[i] of the recording x (notes `spacing`
// frames apart or more, each long died away before the next):
//   delays  where the largest swing over one `period` of the note's wave
//           (frames) first passes `level` (3e-3: -50 dB), after the frame;
//   firsts  the first frame off the level the window starts at (the first
//           block of an envelope can be as quiet as -200 dB): below 0, the
//           note sounded before it was played.
// A note whose window holds neither has no entry.
struct Onsets {
    std::vector<double> delays;
    std::vector<double> firsts;
};

inline Onsets FindOnsets(const std::vector<float>& x, const std::vector<int64_t>& played, int64_t spacing,
                         size_t period, float level = 3e-3f) {
    Onsets found;
    const auto size = static_cast<int64_t>(x.size());
    for (int64_t at : played) {
        // The window starts where the note before had long died away, at
        // the level that left.
        const int64_t begin = at - spacing / 4;
        const int64_t end = std::min(at + spacing / 2, size);
        if (begin < 0 || begin >= end) continue;
        const auto from = static_cast<size_t>(begin);
        const auto to = static_cast<size_t>(end);
        for (size_t i = from; i < to; ++i)
            if (std::fabs(x[i] - x[from]) > 1e-12f) {
                found.firsts.push_back(static_cast<double>(static_cast<int64_t>(i) - at));
                break;
            }
        for (size_t i = from + period, high = 0; i < to; ++i) {
            high = std::fabs(x[i] - x[from]) > level ? i : high;
            if (high > 0 && i - high < period) {
                found.delays.push_back(static_cast<double>(static_cast<int64_t>(high) - at));
                break;
            }
        }
    }
    return found;
}

// Where sounds start in a recording that holds only them, each after at
// least `gap` frames below `level`: the first frame off the quiet level
// before it, as FindOnsets' firsts (the block that began to play it).
inline std::vector<int64_t> FindSounds(const std::vector<float>& x, int64_t gap, float level = 3e-3f) {
    std::vector<int64_t> rough;
    int64_t quiet = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        if (std::fabs(x[i]) <= level) {
            ++quiet;
            continue;
        }
        if (quiet >= gap) rough.push_back(static_cast<int64_t>(i));
        quiet = 0;
    }
    std::vector<int64_t> starts;
    for (int64_t at : rough) {
        // Back from the loud frame to where the level left the quiet one.
        const auto from = static_cast<size_t>(at - gap / 2);
        size_t i = from;
        while (i < static_cast<size_t>(at) && std::fabs(x[i] - x[from]) <= 1e-12f) ++i;
        starts.push_back(static_cast<int64_t>(i));
    }
    return starts;
}

// A MIDI event received: its absolute frame (the cycle's first frame plus
// its offset) and its offset in that cycle.
struct Received {
    int64_t frame = 0;
    uint32_t offset = 0;
};

// Events meant to fall every `period` frames, against the grid of that
// period whose phase is the median of their places: a constant delay goes
// into the phase and only what moves counts as a deviation.
struct GridFit {
    size_t events = 0;
    size_t atZero = 0;     // events at offset 0 of their cycle
    double anchor = 0.0;   // an absolute frame on the fitted grid
    double maxDev = 0.0;   // largest distance of an event from the grid
    double stdDev = 0.0;   // of the signed distances
};

// x brought into (-period / 2, period / 2].
inline double Wrap(double x, double period) {
    x = std::fmod(x, period);
    if (x > period / 2) x -= period;
    if (x <= -period / 2) x += period;
    return x;
}

inline GridFit FitGrid(const std::vector<int64_t>& frames, double period) {
    GridFit fit;
    fit.events = frames.size();
    if (frames.empty()) return fit;
    const auto first = static_cast<double>(frames.front());
    std::vector<double> places;
    for (int64_t f : frames) places.push_back(Wrap(static_cast<double>(f) - first, period));
    const double phase = Summarize(places).median;
    fit.anchor = first + phase;
    std::vector<double> deviations;
    for (double p : places) {
        deviations.push_back(Wrap(p - phase, period));
        fit.maxDev = std::max(fit.maxDev, std::fabs(deviations.back()));
    }
    fit.stdDev = Summarize(deviations).stdDev;
    return fit;
}

inline GridFit FitGrid(const std::vector<Received>& events, double period) {
    std::vector<int64_t> frames;
    size_t atZero = 0;
    for (const Received& e : events) {
        frames.push_back(e.frame);
        atZero += e.offset == 0 ? 1 : 0;
    }
    GridFit fit = FitGrid(frames, period);
    fit.atZero = atZero;
    return fit;
}

// Each event against the reference nearest to it (within half a period):
// the median of the signed distances and the largest departure from it.
// A skipped cycle moves both alike and leaves this as it was.
struct Pairing {
    size_t pairs = 0;
    double median = 0.0;
    double maxDev = 0.0;
};

inline Pairing Pair(const std::vector<Received>& events, const std::vector<int64_t>& references, double period) {
    Pairing pairing;
    std::vector<double> distances;
    for (const Received& e : events) {
        double best = period;
        for (int64_t r : references)
            if (std::fabs(static_cast<double>(e.frame - r)) < std::fabs(best)) best = static_cast<double>(e.frame - r);
        if (std::fabs(best) < period / 2) distances.push_back(best);
    }
    const Summary s = Summarize(distances);
    pairing.pairs = s.count;
    pairing.median = s.median;
    pairing.maxDev = std::max(s.max - s.median, s.median - s.min);
    return pairing;
}

}  // namespace jacktiming
