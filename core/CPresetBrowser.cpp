#include "core/CPresetBrowser.h"
