// zavo_jack_player: how the running program keeps time through JACK, as a
// keyboard and a recorder on the same server see it. It joins the
// program's ports by name, plays rounds of notes at known frames (each at
// another place in its cycle) into the program's MIDI input, records its
// audio output, logs what its MIDI output sends, and prints per round and
// for all rounds: the notes' onset latency (median, mean), jitter, earliest
// first sound, the note-ons sent out against a fitted grid of beats, and
// the cycles the server skipped. The figures are worked out as the
// benchmark bench/JackMidiTiming.cpp does (tools/JackTiming.h).
//
//   zavo_jack_player [--rounds 6] [--notes 40] [--bpm 120] [--wait 30]
//       [--keys zavo:midi_in] [--left zavo:out_1] [--right zavo:out_2]
//       [--midi-out zavo:midi_out] [--name zavo_jack_player]
//
// The program may join our ports itself (its settings can name
// "<name>:keys" as MIDI input and "<name>-rec:heard" as MIDI output): a port of
// ours found joined is taken as it is, whatever the program's port is
// called. A port named "" is not joined. Exits 1 when a port cannot be
// joined or a round finds no note.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tools/JackTiming.h"

namespace {

constexpr uint8_t kKey = 81;  // 880 Hz

struct Options {
    int rounds = 6;
    int notes = 40;
    double bpm = 120.0;
    int waitSeconds = 30;
    std::string keys = "zavo:midi_in";
    std::string left = "zavo:out_1";
    std::string right = "zavo:out_2";
    std::string midiOut = "zavo:midi_out";
    std::string name = "zavo_jack_player";
};

bool ParseOptions(int argc, char** argv, Options& o) {
    std::map<std::string, std::string*> texts = {{"--keys", &o.keys},   {"--left", &o.left},
                                                 {"--right", &o.right}, {"--midi-out", &o.midiOut},
                                                 {"--name", &o.name}};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = argv[i + 1];
        if (texts.count(option)) *texts[option] = value;
        else if (option == "--rounds") o.rounds = std::atoi(value);
        else if (option == "--notes") o.notes = std::atoi(value);
        else if (option == "--bpm") o.bpm = std::atof(value);
        else if (option == "--wait") o.waitSeconds = std::atoi(value);
        else return false;
    }
    return argc % 2 == 1 && o.rounds > 0 && o.notes > 0 && o.bpm > 0.0;
}

// Joins one of our ports to the program's port of that name once it is
// there, or finds ours joined already: the program's settings can join it
// under a name of the program's that the options do not know.
bool Join(jack_client_t* client, jack_port_t* own, const std::string& other, int waitMs) {
    if (other.empty()) return true;
    const auto there = [&] { return jack_port_by_name(client, other.c_str()) != nullptr; };
    jacktiming::WaitFor([&] { return jack_port_connected(own) > 0 || there(); }, waitMs);
    const std::string mine = jack_port_name(own);
    if (!there() && jack_port_connected(own) > 0) return true;
    const bool source = (jack_port_flags(own) & JackPortIsOutput) != 0;
    const int result = !there()   ? -1
                       : source ? jack_connect(client, mine.c_str(), other.c_str())
                                : jack_connect(client, other.c_str(), mine.c_str());
    if (result != 0 && result != EEXIST) {
        std::fprintf(stderr, "zavo_jack_player: %s cannot be joined to %s\n", mine.c_str(), other.c_str());
        return false;
    }
    return true;
}

struct Figures {
    jacktiming::Onsets onsets;
    std::vector<jacktiming::Received> noteOns;
    int xruns = 0;
};

void Print(const char* title, const Figures& f, int notes, double beat) {
    const jacktiming::Summary latency = jacktiming::Summarize(f.onsets.delays);
    const jacktiming::Summary first = jacktiming::Summarize(f.onsets.firsts);
    std::printf("%-8s notes %zu/%d  latency median %.1f mean %.1f  jitter %.1f  earliest %.0f", title,
                latency.count, notes, latency.median, latency.mean, latency.stdDev, first.min);
    const jacktiming::GridFit out = jacktiming::FitGrid(f.noteOns, beat);
    std::printf("  | midi out %zu note-ons: max dev %.0f std %.1f at offset 0 %zu", out.events, out.maxDev, out.stdDev,
                out.atZero);
    std::printf("  | xruns %d\n", f.xruns);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr, "usage: zavo_jack_player [--rounds N] [--notes N] [--bpm BPM] [--wait SECONDS]\n"
                             "    [--keys PORT] [--left PORT] [--right PORT] [--midi-out PORT] [--name CLIENT]\n");
        return 2;
    }
    // The recording's length depends on the server's rate and cycle: a
    // first client asks.
    jack_client_t* probe = jack_client_open((o.name + "_probe").c_str(), JackNoStartServer, nullptr);
    if (!probe) {
        std::fprintf(stderr, "zavo_jack_player: no JACK server answers\n");
        return 1;
    }
    const int64_t cycle = jack_get_buffer_size(probe);
    const double rate = jack_get_sample_rate(probe);
    jack_client_close(probe);
    const int64_t spacing = (static_cast<int64_t>(rate / 4) / cycle + 1) | 1;  // cycles, odd: about 250 ms
    const int64_t noteSpacing = spacing * cycle;
    const int64_t lead = 2 * noteSpacing;
    const int64_t length = lead + o.notes * noteSpacing;
    const double beat = rate * 60.0 / o.bpm;
    const auto period = static_cast<size_t>(rate / 880.0) + 1;

    jacktiming::Player player(o.name, 2, length + noteSpacing);
    if (!player.ok) {
        std::fprintf(stderr, "zavo_jack_player: the JACK client did not start\n");
        return 1;
    }
    const int waitMs = o.waitSeconds * 1000;
    if (!Join(player.client, player.keys, o.keys, waitMs) || !Join(player.client, player.ins[0], o.left, waitMs) ||
        !Join(player.client, player.ins[1], o.right, waitMs) || !Join(player.client, player.heardPort, o.midiOut, waitMs))
        return 1;
    std::printf("%.0f Hz, %lld-frame cycles; %d rounds of %d notes %lld frames apart; MIDI out against a grid "
                "of %.0f frames (%.3g BPM)\n",
                rate, static_cast<long long>(cycle), o.rounds, o.notes, static_cast<long long>(noteSpacing),
                beat, o.bpm);

    Figures all;
    bool found = true;
    for (int round = 1; round <= o.rounds; ++round) {
        std::vector<jacktiming::Player::Message> notes;
        std::vector<int64_t> played;
        for (int n = 0; n < o.notes; ++n) {
            const int64_t at = n * noteSpacing + (n * 37) % cycle;
            notes.push_back({at, {0x90, kKey, 100}});
            notes.push_back({at + static_cast<int64_t>(rate / 20), {0x80, kKey, 0}});
            played.push_back(lead + at);
        }
        const int xruns = player.xruns.load();
        const int64_t start = player.Play(notes, lead);
        if (start < 0 || !jacktiming::WaitFor([&] { return player.RecordedUpTo() >= length; },
                                              static_cast<int>(length / rate * 1000) + 10000)) {
            std::fprintf(stderr, "zavo_jack_player: the client's cycles stopped\n");
            return 1;
        }
        Figures f;
        f.onsets = jacktiming::FindOnsets(player.recorded, played, noteSpacing, period);
        for (const jacktiming::Player::Event& e : player.Heard(start))
            if ((e.bytes[0] & 0xF0) == 0x90 && e.bytes[2] > 0 && e.at.frame < start + length)
                f.noteOns.push_back(e.at);
        f.xruns = player.xruns.load() - xruns;
        const std::string title = "round " + std::to_string(round);
        Print(title.c_str(), f, o.notes, beat);
        found = found && !f.onsets.delays.empty();
        all.onsets.delays.insert(all.onsets.delays.end(), f.onsets.delays.begin(), f.onsets.delays.end());
        all.onsets.firsts.insert(all.onsets.firsts.end(), f.onsets.firsts.begin(), f.onsets.firsts.end());
        all.noteOns.insert(all.noteOns.end(), f.noteOns.begin(), f.noteOns.end());
        all.xruns += f.xruns;
    }
    Print("all", all, o.notes * o.rounds, beat);
    return found ? 0 : 1;
}
