#include "platform/CAudioDevices.h"

#include "os/InitOrder.h"

CAudioDevices g_AudioDevices ZAVO_INIT(ZAVO_PRIO_DEVICES);

void CAudioDevices::EnumerateDirectSound() {}
bool CAudioDevices::Open(void*, const char*, CSynth*, int32_t, int32_t) { return false; }
void CAudioDevices::Close() {}
void CAudioDevices::SetSampleRate(int32_t, int32_t) {}
void CAudioDevices::BuildMenu(CUIMenuResource&) {}
