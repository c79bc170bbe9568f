#include "platform/CWaveIO.h"

void CWaveIO::Feed(const float*, int32_t) {}
