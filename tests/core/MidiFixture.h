#pragma once
// A bare engine with a MIDI dispatcher on top (no synthesizer object), and
// helpers that lay out voices the way the voice budget does: each part gets
// consecutive voices.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "core/CKeyboard.h"
#include "core/CMIDI.h"
#include "core/CSynth.h"
#include "engine/CEngine.h"
#include "tests/GlobalGuards.h"

class MidiFixture : public ::testing::Test {
protected:
    void SetUp() override {
        engine = std::make_unique<CEngine>();
        engine->Init();
        midi = std::make_unique<CMIDI>(engine.get(), nullptr);
        Layout({4});
    }

    CEngineData& Data() { return engine->data; }

    // Voice counts per part, in part order; part p listens on channel p.
    void Layout(std::initializer_list<int> counts) {
        CEngineData& d = Data();
        for (int v = 0; v < CEngineData::kVoices; ++v) {
            d.voicePart[v] = -1;
            d.voiceState[v] = CEngineData::kVoiceIdle;
        }
        int v = 0;
        int p = 0;
        for (int count : counts) {
            d.SetSettingI(p, CEngineData::kSetVoiceCount, count);
            for (int i = 0; i < count; ++i)
                d.voicePart[v++] = p;
            ++p;
        }
        d.voicesInUse = v;
    }

    static uint32_t Msg(int status, int data1, int data2) {
        return static_cast<uint32_t>(status) | static_cast<uint32_t>(data1) << 8 |
               static_cast<uint32_t>(data2) << 16;
    }

    // A message as it comes from the MIDI input, handled in the current block.
    void Play(int status, int data1, int data2) {
        PlayAll({Msg(status, data1, data2)});
    }
    void PlayAll(std::initializer_list<uint32_t> messages) {
        CMIDIQueue& q = midi->queue;
        for (uint32_t m : messages) {
            // Force the event due now: a stamp far in the past is late.
            q.Push(Block(), m, 0);
            q.dueBlock[(q.writeIndex.load() + CMIDIQueue::kSize - 1) % CMIDIQueue::kSize] = Block();
        }
        midi->ProcessBlock();
    }
    int32_t Block() { return static_cast<int32_t>(Data().blockCounter); }

    int Key(int v) { return Data().ControlI(v, 73); }
    int Gate(int v) { return Data().ControlI(v, 78); }
    int EgStage(int v, int eg) { return Data().ControlI(v, 95 + 4 * eg); }
    float Pitch(int v) { return Data().ControlF(v, 74); }
    // The voice of part p sounding key k with its gate open, or -1.
    int GatedVoice(int part, int key) {
        for (int v = 0; v < Data().voicesInUse; ++v)
            if (Data().voicePart[v] == part && Key(v) == key && Gate(v) == 1)
                return v;
        return -1;
    }
    int CountGated(int part) {
        int n = 0;
        for (int v = 0; v < Data().voicesInUse; ++v)
            n += Data().voicePart[v] == part && Gate(v) == 1;
        return n;
    }

    std::unique_ptr<CEngine> engine;
    std::unique_ptr<CMIDI> midi;
};

// Renders frames of the synthesizer's output into left and right.
inline void RenderInto(CSynth& synth, int frames, std::vector<float>& left, std::vector<float>& right) {
    left.assign(static_cast<size_t>(frames), 0.0f);
    right.assign(static_cast<size_t>(frames), 0.0f);
    float* outs[2] = {left.data(), right.data()};
    synth.Process(nullptr, outs, frames);
}

// One synthesizer per suite (building it loads every part); each test starts
// at block 0 with nothing held over. The menu table the synthesizer writes
// its names into goes back as it was after the suite, the settings after
// each test.
class SynthFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_menus = new testutil::ScopedMenuTable();
        s_synth = new CSynth();
    }
    static void TearDownTestSuite() {
        delete s_synth;
        s_synth = nullptr;
        delete s_menus;
        s_menus = nullptr;
    }
    void SetUp() override {
        synth = s_synth;
        synth->Resume();
        while (synth->GetNextHeldOverCount() != 0)
            Render(1);
        synth->engine.data.blockCounter = 0;
        // A message an earlier test left waiting (a note-off sent after its
        // device closed) is due at a block of the old count, up to a whole
        // test's worth ahead of block 0: it would hold up every message sent
        // behind it. It falls due in the first block instead, and the render
        // calls of the old count are forgotten.
        for (CMIDIQueue* q : {&synth->midi->queue, &synth->midi->realTimeQueue}) {
            for (int32_t i = q->readIndex.load(); i != q->writeIndex.load(); i = (i + 1) % CMIDIQueue::kSize)
                q->dueBlock[i] = 0;
            q->ClearRenderAnchor();
        }
    }
    void Render(int frames) { RenderInto(*synth, frames, left, right); }
    static inline testutil::ScopedMenuTable* s_menus = nullptr;
    static inline CSynth* s_synth = nullptr;
    testutil::ScopedSettings settings;
    CSynth* synth = nullptr;
    std::vector<float> left, right;
};
