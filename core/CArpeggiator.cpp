#include "core/CArpeggiator.h"

CArpeggiator::CArpeggiator(CSynth* s) : synth(s) {}
CArpeggiator::~CArpeggiator() = default;
void CArpeggiator::SetTempo(float) {}
void CArpeggiator::Process() {}
bool CArpeggiator::IsPartActive(int) const { return false; }
