#pragma once
// Per-voice formant filter: four resonators in parallel followed by four
// notches in series, whose settings morph between two of 16 stored shapes.
#include "engine/CIIR2Order.h"
#include <cstdint>
#include <xmmintrin.h>

class CTerrainFilter {
public:
    static constexpr int kSections = 8;
    static constexpr int kShapes = 16;

    struct Section {
        uint32_t enabled;
        float gain;
        float frequency; // Hz
        float resonance;
    };
    // kShapes x kSections.
    static const Section s_Shapes[kShapes][kSections];

    CTerrainFilter() = default;
    virtual ~CTerrainFilter() = default;

    // Once per block. u = 1 / sample rate, k scales every frequency, R scales
    // the resonances, m (limited to 0..1) morphs from shape A to shape B.
    // A shape index outside 0..15 counts as a shape with every section off.
    void Set(float u, int shapeA, int shapeB, float k, float R, float m);
    // Once per sample.
    float Process(float x);

    // The filter over one block with coefficients and states in registers:
    // construct from the filter, call Process once per sample, then Store.
    // The four parallel resonators run side by side in one vector; every
    // lane does exactly the arithmetic of CIIR2Order::Process, so the result
    // is the same to the bit.
    class Runner;

    CIIR2Order sections[kSections];
    int32_t shapeA = -1;
    int32_t shapeB = -1;
    float dc = 0.0f;
};

class CTerrainFilter::Runner {
public:
    explicit Runner(const CTerrainFilter& f) : m_dc(f.dc)
    {
        alignas(16) float lanes[4];
        for (int k = 0; k < 6; ++k) {
            for (int i = 0; i < 4; ++i)
                lanes[i] = f.sections[i].c[k];
            m_c[k] = _mm_load_ps(lanes);
            for (int i = 0; i < 4; ++i)
                lanes[i] = f.sections[i].d[k];
            m_d[k] = _mm_load_ps(lanes);
        }
        for (int i = 0; i < 4; ++i)
            lanes[i] = f.sections[i].s1;
        m_s1 = _mm_load_ps(lanes);
        for (int i = 0; i < 4; ++i)
            lanes[i] = f.sections[i].s2;
        m_s2 = _mm_load_ps(lanes);
        for (int i = 0; i < 4; ++i)
            m_serial[i] = f.sections[4 + i];
    }

    void Store(CTerrainFilter& f) const
    {
        alignas(16) float lanes[4];
        for (int k = 0; k < 6; ++k) {
            _mm_store_ps(lanes, m_c[k]);
            for (int i = 0; i < 4; ++i)
                f.sections[i].c[k] = lanes[i];
        }
        _mm_store_ps(lanes, m_s1);
        for (int i = 0; i < 4; ++i)
            f.sections[i].s1 = lanes[i];
        _mm_store_ps(lanes, m_s2);
        for (int i = 0; i < 4; ++i)
            f.sections[i].s2 = lanes[i];
        for (int i = 0; i < 4; ++i)
            f.sections[4 + i] = m_serial[i];
        f.dc = m_dc;
    }

    float Process(float x)
    {
        for (int k = 0; k < 6; ++k)
            m_c[k] = _mm_add_ps(m_c[k], m_d[k]);
        const __m128 xg = _mm_mul_ps(m_c[5], _mm_set1_ps(x));
        const __m128 y = _mm_add_ps(_mm_mul_ps(m_c[2], xg), m_s1);
        const __m128 offset = _mm_set1_ps(CIIR2Order::kStateOffset);
        const __m128 s1 = _mm_add_ps(
            _mm_add_ps(_mm_sub_ps(_mm_mul_ps(m_c[3], xg), _mm_mul_ps(m_c[0], y)), m_s2), offset);
        const __m128 s2 = _mm_add_ps(_mm_sub_ps(_mm_mul_ps(m_c[4], xg), _mm_mul_ps(m_c[1], y)), offset);
        m_s1 = Limit(s1);
        m_s2 = Limit(s2);
        alignas(16) float lanes[4];
        _mm_store_ps(lanes, y);
        float sum = lanes[0] + lanes[1] + lanes[2] + lanes[3];
        sum = m_serial[3].Process(m_serial[2].Process(m_serial[1].Process(m_serial[0].Process(sum))));
        sum += 1e-7f;
        m_dc = 0.9995f * m_dc + 0.0005f * sum;
        // Four parallel pass-through sections sum to 4x, so the scale brings
        // an idle filter back to unit level (inverted).
        return (m_dc - sum) * 0.25f;
    }

private:
    // engine::ClampSafe lane by lane: limited to the state range, NaN to 0.
    static __m128 Limit(__m128 s)
    {
        const __m128 limited = _mm_min_ps(_mm_max_ps(s, _mm_set1_ps(-CIIR2Order::kStateLimit)),
                                          _mm_set1_ps(CIIR2Order::kStateLimit));
        return _mm_and_ps(_mm_cmpord_ps(s, s), limited);
    }

    __m128 m_c[6], m_d[6], m_s1, m_s2;
    CIIR2Order m_serial[4];
    float m_dc;
};
