// Entry point. The process-wide objects (settings, tables, devices) are
// built before main runs and torn down after it returns; the settings are
// written back then.
#include "core/CSynth.h"

int main()
{
    CSynth* synth = new CSynth;
    delete synth;
    return 0;
}
