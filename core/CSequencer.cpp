#include "core/CSequencer.h"

CSequencer::CSequencer(CSynth* s) : synth(s) {}
CSequencer::~CSequencer() = default;
void CSequencer::SetSongList(CSongList* list) { songList = list; }
void CSequencer::Process(CArpeggiator*) {}
void CSequencer::UpdateMidiOutClock() {}
void CSequencer::UpdateTempo() {}
void CSequencer::Play() {}
void CSequencer::OnHostStart() {}
void CSequencer::Stop() {}
int CSequencer::GetPartFunction(int) const { return 0; }
