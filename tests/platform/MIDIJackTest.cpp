// The MIDI devices over real JACK MIDI ports of a private server.
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/CMIDI.h"
#include "core/CMIDIQueue.h"
#include "core/CSynth.h"
#include "os/ORtMidiPorts.h"
#include "platform/CAudioDevices.h"
#include "platform/CMIDIDevices.h"
#include "platform/JackProbe.h"
#include "platform/JackServer.h"
#include "tests/core/MeasureFrequency.h"

namespace {

int IndexOf(const std::vector<std::string>& names, const std::string& name) {
    auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

// Messages in the synthesizer's MIDI queue from index `from` on, with stamps.
std::vector<std::pair<uint32_t, uint32_t>> Queued(const CMIDIQueue& q, int32_t from) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (int32_t i = from; i != q.writeIndex.load(); i = (i + 1) % CMIDIQueue::kSize)
        out.emplace_back(q.message[i], q.timeStamp[i]);
    return out;
}

} // namespace

TEST(MIDIJackTest, InputsReachTheSynthAndQueuedMessagesLeaveAtTheClock) {
    testutil::JackServer server;
    ASSERT_TRUE(server.Ok()) << server.Error();
    testutil::JackProbe probe;
    ASSERT_TRUE(probe.Ok());
    auto synth = std::make_unique<CSynth>();

    os::OMidiPorts& ports = os::SystemMidiPorts();
    const int keys = IndexOf(ports.InputNames(), probe.KeysName());
    ASSERT_GE(keys, 0);
    ASSERT_LT(keys, CMIDIDevices::kMaxDevices);
    std::string mask(static_cast<size_t>(keys) + 1, '0');
    mask[static_cast<size_t>(keys)] = '1';

    CMIDIDevices devices;
    devices.SetInputMask(mask.c_str());
    devices.SetOutputName(probe.SinkName().c_str());
    ASSERT_TRUE(devices.Start(synth.get()));
    EXPECT_STREQ(devices.GetOutputName(), probe.SinkName().c_str());

    // The program's own ports exist on the server but are not offered.
    const char** own = jack_get_ports(probe.Client(), "^zavo-midi", nullptr, 0);
    int ownCount = 0;
    for (const char** p = own; p && *p; ++p)
        ++ownCount;
    jack_free(own);
    EXPECT_EQ(ownCount, 2);
    for (const auto& list : {ports.InputNames(), ports.OutputNames()})
        for (const std::string& name : list)
            EXPECT_FALSE(os::ORtMidiPorts::IsOwnPort(name)) << name;

    // System exclusive is dropped; clock and notes arrive, stamped on the
    // MIDI clock.
    const CMIDIQueue& queue = synth->midi->queue;
    const int32_t start = queue.writeIndex.load();
    const uint32_t before = CMIDIQueue::ClockMs();
    probe.Send({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    probe.Send({0xF8});
    probe.Send({0x90, 69, 100});
    ASSERT_TRUE(testutil::JackProbe::WaitFor([&] { return Queued(queue, start).size() >= 2; }, 2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const auto got = Queued(queue, start);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].first, 0xF8u);
    EXPECT_EQ(got[1].first, 0x644590u);
    for (const auto& [message, stamp] : got) {
        EXPECT_GE(static_cast<int32_t>(stamp - before), 0);
        EXPECT_LE(static_cast<int32_t>(CMIDIQueue::ClockMs() - stamp), 2000);
    }

    // A message queued at the clock reaches the port; one far ahead waits.
    const uint32_t clock = CMIDIDevices::GetOutClock();
    devices.QueueOut(clock, 0x91, 60, 99);
    devices.QueueOut(clock + 44100 * 60, 0x81, 60, 0);
    ASSERT_TRUE(probe.WaitReceived(1, 2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_EQ(probe.ReceivedCount(), 1);
    const auto& sent = probe.Received(0);
    EXPECT_EQ(std::vector<uint8_t>(sent.bytes, sent.bytes + sent.size), (std::vector<uint8_t>{0x91, 60, 99}));

    // Once the inputs are closed nothing more arrives.
    devices.CloseInputs();
    const int32_t closed = queue.writeIndex.load();
    probe.Send({0x80, 69, 0});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(queue.writeIndex.load(), closed);
    devices.CloseAll();
}

namespace {

float Peak(const std::vector<float>& x, int64_t from, int64_t to) {
    float peak = 0.0f;
    for (int64_t i = std::max<int64_t>(from, 0); i < to; ++i)
        peak = std::max(peak, std::fabs(x[static_cast<size_t>(i)]));
    return peak;
}

double Rms(const std::vector<float>& x, int64_t from, int64_t to) {
    double sum = 0.0;
    for (int64_t i = from; i < to; ++i)
        sum += double(x[static_cast<size_t>(i)]) * x[static_cast<size_t>(i)];
    return std::sqrt(sum / double(to - from));
}

} // namespace

TEST(MIDIJackTest, NoteFromAJackPortSoundsOnTheJackOutputsInTune) {
    testutil::JackServer server;
    ASSERT_TRUE(server.Ok()) << server.Error();
    const int64_t rate = 44100;
    testutil::JackProbe probe(static_cast<size_t>(rate * 8));
    ASSERT_TRUE(probe.Ok());
    auto synth = std::make_unique<CSynth>();
    ASSERT_TRUE(g_AudioDevices.Open(nullptr, "JACK", synth.get(), 44100, 11));
    synth->Resume();
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(jack_connect(probe.Client(), ("zavo:out_" + std::to_string(i + 1)).c_str(),
                               probe.InputName(i).c_str()),
                  0);
    const int keys = IndexOf(os::SystemMidiPorts().InputNames(), probe.KeysName());
    ASSERT_GE(keys, 0);
    std::string mask(static_cast<size_t>(keys) + 1, '0');
    mask.back() = '1';
    CMIDIDevices devices;
    devices.SetInputMask(mask.c_str());
    devices.Start(synth.get());
    ASSERT_TRUE(devices.IsInputOpen(keys));

    ASSERT_TRUE(probe.WaitCaptured(probe.Captured() + rate / 2, 5000));
    probe.Send({0x90, 69, 100});
    ASSERT_TRUE(testutil::JackProbe::WaitFor([&] { return probe.SentFrame(0) >= 0; }, 2000));
    const int64_t on = probe.SentFrame(0);
    ASSERT_TRUE(probe.WaitCaptured(on + rate, 5000));
    probe.Send({0x80, 69, 0});
    ASSERT_TRUE(testutil::JackProbe::WaitFor([&] { return probe.SentFrame(1) >= 0; }, 2000));
    const int64_t off = probe.SentFrame(1);
    ASSERT_TRUE(probe.WaitCaptured(off + rate, 8000));
    devices.CloseAll();
    g_AudioDevices.Close();

    for (const std::vector<float>* out : {&probe.Left(), &probe.Right()}) {
        const std::vector<float>& x = *out;
        EXPECT_LT(Peak(x, on - rate / 4, on), 1e-4f);
        int64_t onset = on;
        while (onset < off && std::fabs(x[static_cast<size_t>(onset)]) < 1e-3f)
            ++onset;
        EXPECT_LT(onset - on, rate / 10);
        const std::vector<float> held(x.begin() + onset + rate / 4, x.begin() + onset + 3 * rate / 4);
        EXPECT_NEAR(MeasureFrequency(held, double(rate)), 440.0, 1.0);
        EXPECT_LT(Rms(x, off + rate / 2, off + rate), 0.1 * Rms(x, onset + rate / 4, onset + 3 * rate / 4));
    }
}
