// The kept lane kernel (see VoiceLanesKernelBefore.h) with four lanes, and
// the choice of the widest one the processor runs.
#include "engine/VoiceLanesKernelBefore.h"

namespace voice_lanes {

void RenderBefore(Group& g)
{
    if (LaneCount() == 8)
        RenderBeforeAvx2(g);
    else
        RenderLanes<4>(g);
}

} // namespace voice_lanes
