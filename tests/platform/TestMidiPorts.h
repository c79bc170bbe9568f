#pragma once
// MIDI ports that exist only in a test: two inputs and one output. A playing
// input sends notes and now and then the sustain pedal from a thread of its
// own, as a port's MIDI thread does, until it is closed; any input can also
// be played by the test through the callback it was opened with.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "os/OClock.h"
#include "os/OMidiPorts.h"

namespace testutil {

class TestMidiPorts : public os::OMidiPorts {
public:
    struct Input : os::OMidiInput {
        Input(TestMidiPorts& o, std::string n, os::MidiInputCallback c, void* u)
            : owner(o), name(std::move(n)), callback(c), user(u) {
            owner.open[name] = this;
            if (owner.playing)
                thread = std::thread([this] {
                    for (uint32_t i = 0; !stop.load(); ++i) {
                        const uint32_t key = 48 + (i / 2 + 7 * (i / 48)) % 24;
                        const uint32_t message = i % 32 == 31 ? 0xB0u | 64u << 8 | (i & 32 ? 127u : 0u) << 16
                                                              : (i & 1 ? 0x80u : 0x90u) | key << 8 | 100u << 16;
                        callback(user, message, os::StampMicros(), os::kNotInCycle);
                        owner.delivered.fetch_add(1);
                        std::this_thread::sleep_for(owner.pause);
                    }
                });
        }
        ~Input() override {
            stop.store(true);
            if (thread.joinable()) thread.join();
            owner.open.erase(name);
        }
        // frame: as a JACK cycle that renders hands it on; aheadUs: a time
        // after now, as such a cycle's frames have.
        void Play(uint32_t message, int32_t frame = os::kNotInCycle, uint32_t aheadUs = 0) {
            callback(user, message, os::StampMicros() + aheadUs, frame);
        }
        TestMidiPorts& owner;
        std::string name;
        os::MidiInputCallback callback;
        void* user;
        std::atomic<bool> stop{false};
        std::thread thread;
    };
    struct Output : os::OMidiOutput {
        bool Send(uint32_t) override { return true; }
    };
    std::vector<std::string> InputNames() override { return {"keys A", "keys B"}; }
    std::vector<std::string> OutputNames() override { return {"out"}; }
    std::unique_ptr<os::OMidiInput> OpenInput(const std::string& name, int, os::MidiInputCallback callback, void* user,
                                              std::string&) override {
        return std::make_unique<Input>(*this, name, callback, user);
    }
    std::unique_ptr<os::OMidiOutput> OpenOutput(const std::string&, std::string&) override {
        return std::make_unique<Output>();
    }
    // Set before an input opens: whether it plays by itself, and how often.
    bool playing = false;
    std::chrono::microseconds pause{200};
    std::map<std::string, Input*> open;
    std::atomic<long> delivered{0};
};

} // namespace testutil
