#include "engine/CFastResample.h"
#include "engine/CSampleVoiceSource.h"
#include <algorithm>
#include <cmath>

namespace {

// Keeps a looping position inside [loop end - D, loop end): the jump back by
// D is applied as often as needed, so steps longer than the loop (or a start
// far behind it) can never leave the sample.
inline float WrapLoop(float pos, const CFastResample::Layer& l)
{
    if (pos >= static_cast<float>(l.loopEnd)) {
        const float d = static_cast<float>(l.jump);
        pos = static_cast<float>(l.loopEnd) - d + std::fmod(pos - static_cast<float>(l.loopEnd), d);
        // fmod of a huge or non-finite distance is not trustworthy.
        if (!(pos >= static_cast<float>(l.loopEnd) - d && pos < static_cast<float>(l.loopEnd)))
            pos = static_cast<float>(l.loopStart);
    }
    return pos;
}

// Cubic B-spline through four taps at fraction t.
inline float Spline(float sm1, float s0, float s1, float s2, float t)
{
    const float c0 = 0.6666667f * s0 + (sm1 + s1) * 0.16666667f;
    const float c1 = (s1 - sm1) * 0.5f;
    const float c2 = (sm1 + s1) * 0.5f - s0;
    const float c3 = (s0 - s1) * 0.5f + (s2 - sm1) * 0.16666667f;
    return ((c3 * t + c2) * t + c1) * t + c0;
}

// One layer's stereo value at pos; false when the layer is silent there.
inline bool LayerValue(const CFastResample::Layer& l, bool looping, float pos, float& outL,
                       float& outR)
{
    const int ch = l.channels;
    if (!l.data || (ch != 1 && ch != 2))
        return false;
    const int i = static_cast<int>(pos);
    if (i >= l.frames)
        return false;
    const float t = pos - static_cast<float>(i);
    const float* s = l.data;
    const bool fade = looping && l.crossfadeRecip > 0.0f && i >= l.crossfadeStart && i < l.loopEnd;
    const float a = fade ? static_cast<float>(l.loopEnd - i) * l.crossfadeRecip : 1.0f;
    float v[2] = {0.0f, 0.0f};
    for (int c = 0; c < ch; ++c) {
        float tap[4];
        for (int k = 0; k < 4; ++k) {
            const int f = i - 1 + k;
            tap[k] = s[f * ch + c];
            // Blend with the material the loop jump lands on, so the seam is
            // already inaudible when the position wraps.
            if (fade)
                tap[k] = tap[k] * a + s[(f - l.jump) * ch + c] * (1.0f - a);
        }
        v[c] = Spline(tap[0], tap[1], tap[2], tap[3], t);
    }
    outL = v[0];
    outR = ch == 2 ? v[1] : v[0];
    return true;
}

} // namespace

bool CFastResample::Setup(CSampleVoiceSource* src, int v, float startOffset)
{
    source = src;
    voice = static_cast<uint32_t>(v);
    pitchScale = 0.0f;
    loopEnable = 0;
    for (int n = 0; n < 2; ++n) {
        layers[n] = Layer{};
        positions[n] = 0.0f;
    }
    if (!src)
        return true;
    pitchScale = src->GetVoicePitchScale(v);
    if (!std::isfinite(pitchScale))
        pitchScale = 0.0f;
    loopEnable = src->GetLoopEnable();
    float fade = src->GetLoopCrossfade();
    // Beyond 1 the fade would reach past the loop start and the jump could
    // shrink to nothing.
    fade = std::isfinite(fade) ? std::clamp(fade, 0.0f, 1.0f) : 0.0f;
    // The offset counts at 44100 frames per second whatever the file's rate.
    const double offset = std::isfinite(startOffset) ? std::trunc(startOffset * 44100.0) : 0.0;

    for (int n = 0; n < 2; ++n) {
        SampleLayerView view;
        if (!src->GetVoiceLayer(v, n, view) || !view.data || view.frames <= 0)
            continue;
        Layer& l = layers[n];
        l.frames = view.frames;
        l.channels = view.channels;
        l.data = view.data;
        // Only 0 <= start < end <= frames is a loop; anything else loops the
        // whole sample rather than reading outside it.
        l.loopStart = view.loopStart;
        l.loopEnd = view.loopEnd;
        if (!(0 <= l.loopStart && l.loopStart < l.loopEnd && l.loopEnd <= l.frames)) {
            l.loopStart = 0;
            l.loopEnd = l.frames;
        }
        const float length = 0.5f * static_cast<float>(l.loopEnd - l.loopStart) * fade;
        if (length < 4.0f) {
            l.crossfadeStart = l.loopEnd;
            l.crossfadeRecip = 0.0f;
            l.jump = l.loopEnd - l.loopStart;
        } else {
            l.crossfadeStart = static_cast<int32_t>(static_cast<float>(l.loopEnd) - length);
            l.crossfadeRecip = 1.0f / length;
            l.jump = l.crossfadeStart - l.loopStart;
        }
        double pos = std::clamp(static_cast<double>(view.position) + offset, 0.0,
                                static_cast<double>(l.frames));
        if (loopEnable && pos >= l.loopEnd)
            pos = l.loopEnd - l.jump + std::fmod(pos - l.loopEnd, static_cast<double>(l.jump));
        positions[n] = static_cast<float>(pos);
    }
    return true;
}

void CFastResample::Reset()
{
    // A note that finds no zone must be silent: the layers of the voice's
    // previous note may point into zones that were freed since.
    Setup(nullptr, static_cast<int>(voice), 0.0f);
}

void CFastResample::Render(float* out, int frames, float& mix, float mixInc, float& phaseInc,
                           float phaseIncDelta)
{
    if (!source || (!layers[0].data && !layers[1].data))
        return;
    const bool looping = loopEnable != 0;
    const bool twoLayers = layers[1].data != nullptr;
    for (int f = 0; f < frames; ++f) {
        float v[2][2] = {};
        for (int n = 0; n < (twoLayers ? 2 : 1); ++n)
            LayerValue(layers[n], looping, positions[n], v[n][0], v[n][1]);
        if (twoLayers) {
            out[2 * f] += (1.0f - mix) * v[0][0] + mix * v[1][0];
            out[2 * f + 1] += (1.0f - mix) * v[0][1] + mix * v[1][1];
            mix += mixInc;
        } else {
            out[2 * f] += v[0][0];
            out[2 * f + 1] += v[0][1];
        }

        const float step = phaseInc * pitchScale;
        for (int n = 0; n < 2; ++n) {
            const Layer& l = layers[n];
            if (!l.data)
                continue;
            float pos = positions[n] + step;
            // Backward or broken steps stop at the first frame; a finished
            // one-shot layer stays parked behind its last frame.
            if (!(pos >= 0.0f))
                pos = 0.0f;
            if (looping)
                pos = WrapLoop(pos, l);
            else if (pos > static_cast<float>(l.frames))
                pos = static_cast<float>(l.frames);
            positions[n] = pos;
        }
        phaseInc += phaseIncDelta;
    }
    for (int n = 0; n < 2; ++n)
        if (layers[n].data)
            source->SetVoicePosition(static_cast<int>(voice), n, static_cast<int32_t>(positions[n]));
}
