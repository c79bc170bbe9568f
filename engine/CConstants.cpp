#include "engine/CConstants.h"

#include "os/InitOrder.h"

CConstants g_Constants ZAVO_INIT(ZAVO_PRIO_CONSTANTS);
