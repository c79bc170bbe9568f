#include "platform/CMIDIDevices.h"

#include "os/InitOrder.h"

CMIDIDevices g_MIDIDevices ZAVO_INIT(ZAVO_PRIO_DEVICES);

void CMIDIDevices::SetInputMask(const char*) {}
void CMIDIDevices::SetOutputName(const char*) {}
void CMIDIDevices::Start(CSynth*) {}
void CMIDIDevices::CloseAll() {}
void CMIDIDevices::BuildMenus(CUIMenuResource&) {}
void CMIDIDevices::QueueOut(uint32_t, int32_t, int32_t, int32_t) {}
