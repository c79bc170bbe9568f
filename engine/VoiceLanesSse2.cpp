// The lane kernel with four lanes (SSE2, every x86-64 processor), and the
// choice of the widest kernel the processor runs.
#include "engine/VoiceLanesKernel.h"

namespace voice_lanes {

namespace {
// Asked once at start-up, before any audio thread runs.
const bool kHaveAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
bool s_useAvx2 = kHaveAvx2;
}

void LimitToSse2(bool limit) { s_useAvx2 = kHaveAvx2 && !limit; }

int LaneCount() { return s_useAvx2 ? 8 : 4; }

void RenderSse2(Group& g) { RenderLanes<4>(g); }

void Render(Group& g, int width)
{
    if (s_useAvx2 && width > 4)
        RenderAvx2(g);
    else
        RenderSse2(g);
}

void RenderPair(Group& a, Group& b, int width)
{
    if (s_useAvx2 && width > 4) {
        RenderAvx2Pair(a, b);
    } else {
        Render(a, width);
        Render(b, width);
    }
}

int AddToMix(const Group& g, int lanes, float* const* mix)
{
    return s_useAvx2 ? AddToMixAvx2(g, lanes, mix) : 0;
}

} // namespace voice_lanes
