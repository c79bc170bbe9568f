#include <gtest/gtest.h>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>
#include "core/CSynth.h"

TEST(ZzOnsetProbe, Trace) {
    auto synth = std::make_unique<CSynth>();
    synth->Resume();
    const CEngineData& d = synth->engine.data;
    std::vector<float> l(32), r(32);
    float* outs[2] = {l.data(), r.data()};
    synth->ProcessMidiMessage(0x7F3C90u, 1000);
    std::printf("P270=%x P255=%d P247=%d P249=%d P20=%g\n", d.PartI(0,270), d.PartI(0,255), d.PartI(0,247), d.PartI(0,249), d.PartF(0,20));
    for (int i = 0; i < 20; ++i)
        std::printf("route %d: src=%d amt=%g off=%g add=%d mul=%d\n", i, d.PartI(0,65+i), d.ControlF(0,36+i), d.PartF(0,125+i), d.PartI(0,105+i), d.PartI(0,85+i));
    for (int b = 0; b < 6; ++b) {
        synth->Process(nullptr, outs, 32);
        float pk = 0; int first = -1;
        for (int i = 0; i < 32; ++i) { float a = std::max(std::fabs(l[i]), std::fabs(r[i])); if (a > pk) pk = a; if (a != 0 && first < 0) first = i; }
        std::printf("blk %u peak=%g first=%d st=%d gate=%d eg stages %d %d %d %d lv %g %g %g %g V20=%g A111=%g st111=%g A196=%d A323..326=%g %g %g %g V237=%g\n",
            d.blockCounter, pk, first, d.voiceState[0], d.ControlI(0,78), d.ControlI(0,95), d.ControlI(0,99), d.ControlI(0,103), d.ControlI(0,107),
            d.ControlF(0,81), d.ControlF(0,83), d.ControlF(0,85), d.ControlF(0,87), d.ControlF(0,20), d.AudioF(0,111), d.AudioF(0,112), d.AudioI(0,196),
            d.AudioF(0,323), d.AudioF(0,324), d.AudioF(0,325), d.AudioF(0,326), d.ControlF(0,237));
    }
}
