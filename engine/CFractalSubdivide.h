#pragma once
// Random curves by recursive midpoint displacement, clamped to a range and
// shifted so that the peak sits at the top of it. Built on the caller's
// stack for one Generate call.

class CFractalSubdivide {
public:
    static constexpr int kMaxCount = 65536;
    static constexpr int kLevels = 17;

    CFractalSubdivide() = default;
    virtual ~CFractalSubdivide() = default;

    // dest holds count values; dest[0] and endValue are the curve's end
    // points. dest[1 .. count-1] are drawn, then dest[0 .. count-1] shifted.
    // Nothing happens for count < 1 or count > kMaxCount.
    void Generate(float* dest, float min, float max, int count, float endValue);
    // For callers whose array holds count + 1 values: dest[count] is the
    // end point (read, never written).
    void Generate(float* dest, float min, float max, int count);

private:
    void Subdivide(int level, int lo, int hi);
    void ShiftToMax(int count);

    float* m_dest = nullptr;
    float m_min = 0.0f;
    float m_max = 0.0f;
    float m_amp[kLevels] = {};
    float m_end = 0.0f;
    int m_count = 0;
};
