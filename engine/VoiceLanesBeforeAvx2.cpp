// The kept lane kernel (see VoiceLanesKernelBefore.h) with eight lanes, built
// for AVX2 (this file alone is compiled with -mavx2; it runs only where the
// processor reports AVX2).
#include <immintrin.h>

#include "engine/VoiceLanesKernelBefore.h"

namespace voice_lanes {

void RenderBeforeAvx2(Group& g) { RenderLanes<8>(g); }

} // namespace voice_lanes
