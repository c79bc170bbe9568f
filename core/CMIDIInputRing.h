#pragma once
// Notes that the GUI thread plays (the editor's on-screen keyboard). The GUI
// thread must not pick voices or start resamplers while the audio thread does
// the same, so its messages wait here until the audio thread takes them at
// the start of its next block. Single producer (GUI thread), single consumer
// (audio thread), no lock.
#include <cstdint>

#include "core/SpscRing.h"

struct CMIDIInputEvent {
    uint32_t message = 0;
    int32_t noteValueB = 0;
    uint32_t timeStamp = 0;
    uint8_t flagA = 0;
    uint8_t flagB = 0;
};

class CMIDIInputRing : public SpscRing<CMIDIInputEvent, 256> {
public:
    using Event = CMIDIInputEvent;
};
