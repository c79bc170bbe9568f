// The lane kernel with eight lanes, built for AVX2 (this file alone is
// compiled with -mavx2; it runs only where the processor reports AVX2).
#include "engine/VoiceLanesKernel.h"

namespace voice_lanes {

void RenderAvx2(Group& g) { RenderLanes<8>(g); }

} // namespace voice_lanes
