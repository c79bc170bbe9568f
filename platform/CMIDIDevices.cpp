#include "platform/CMIDIDevices.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/CMIDIQueue.h"
#include "core/CSynth.h"
#include "gui/CUIMenuResource.h"
#include "os/InitOrder.h"
#include "os/OClock.h"
#include "os/OJackClient.h"
#include "os/ORtMidiPorts.h"
#include "platform/CDebug.h"
#include "platform/CGlobalData.h"

CMIDIDevices g_MIDIDevices ZAVO_INIT(ZAVO_PRIO_DEVICES);

namespace {

void CopyName(char (&out)[CMIDIDevices::kNameSize], const char* text) {
    std::snprintf(out, sizeof(out), "%s", text ? text : "");
}

void SetError(char* errorText, const std::string& text) {
    if (errorText)
        std::snprintf(errorText, CMIDIDevices::kErrorSize, "%s", text.c_str());
}

// Nothing chosen: no name (a first start), "none", or the row of '0'
// characters a name starts as.
bool NamesNoOutput(const char* name) {
    return !*name || std::strcmp(name, CMIDIDevices::kNoOutput) == 0 || std::strspn(name, "0") == std::strlen(name);
}

// The stored names: entries joined by ',', in which '%' and ',' are written
// as "%25" and "%2C" (a port name may hold either; spaces, colons and the
// bytes that would break a line the settings file takes care of).
std::string JoinNames(const std::vector<std::string>& entries) {
    std::string text;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0)
            text += ',';
        for (char c : entries[i]) {
            if (c == '%')
                text += "%25";
            else if (c == ',')
                text += "%2C";
            else
                text += c;
        }
    }
    return text;
}

// The escapes JoinNames writes, in either case: what "%2C" or "%25" at i
// stands for, else 0 (any other '%' is a '%' of the name).
char EscapedAt(std::string_view text, size_t i) {
    if (text[i] != '%' || i + 2 >= text.size() || text[i + 1] != '2')
        return 0;
    const char c = text[i + 2];
    return c == '5' ? '%' : c == 'C' || c == 'c' ? ',' : 0;
}

std::vector<std::string> SplitNames(std::string_view text) {
    std::vector<std::string> entries;
    if (text.empty())
        return entries;
    entries.emplace_back();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ',') {
            entries.emplace_back();
        } else if (const char c = EscapedAt(text, i)) {
            entries.back() += c;
            i += 2;
        } else {
            entries.back() += text[i];
        }
    }
    return entries;
}

} // namespace

CMIDIDevices::CMIDIDevices() {
    // Nothing chosen: one '0' per listed input once a list is taken.
    inputMask[0] = '0';
    std::memset(outputName, '0', kMaxDevices);
    std::memset(chosenOutput, '0', kMaxDevices);
    for (InputSlot& slot : inputSlots)
        slot.owner = this;
}

CMIDIDevices::~CMIDIDevices() { CloseAll(); }

void CMIDIDevices::SetPorts(os::OMidiPorts* p) { ports = p; }

os::OMidiPorts& CMIDIDevices::Ports() { return ports ? *ports : os::SystemMidiPorts(); }

// Only the first 32 devices have a slot, a mask character and a menu row.
std::vector<std::string> CMIDIDevices::ListInputs() {
    std::vector<std::string> names = Ports().InputNames();
    if (names.size() > kMaxDevices)
        names.resize(kMaxDevices);
    return names;
}

// Device 0 is "none": the output a start falls back to when the stored name
// is not there (or nothing is stored) connects nothing.
std::vector<std::string> CMIDIDevices::ListOutputs() {
    std::vector<std::string> names{kNoOutput};
    for (std::string& name : Ports().OutputNames()) {
        if (names.size() == kMaxDevices)
            break;
        names.push_back(std::move(name));
    }
    return names;
}

void CMIDIDevices::SetInputMask(const char* text, std::string_view names) {
    if (text && (text[0] == '0' || text[0] == '1')) {
        CopyName(inputMask, text);
        for (std::string& port : maskPorts)
            port.clear();
    }
    storedNames = names;
    NameStoredPorts(names);
    CopyName(g_GlobalData.MIDIDeviceIn, inputMask);
    StoreNames();
}

// The names come first: a port they name is chosen whatever the mask says.
// Entry k names the k-th '1' of the mask; a name past them takes the first
// row that is not chosen. A '1' without a name keeps the meaning the mask
// alone gives it. A name an earlier row took already keeps its row, which
// joins nothing: left unnamed, the row would take whatever port the list
// has on it, one the user never chose.
void CMIDIDevices::NameStoredPorts(std::string_view names) {
    const std::vector<std::string> entries = SplitNames(names);
    size_t k = 0;
    const size_t length = std::min(std::strlen(inputMask), static_cast<size_t>(kMaxDevices));
    for (size_t i = 0; i < length && k < entries.size(); ++i)
        if (inputMask[i] == '1')
            maskPorts[i] = entries[k++];
    for (; k < entries.size(); ++k) {
        const std::string& name = entries[k];
        if (name.empty())
            continue;
        const size_t end = std::strlen(inputMask);
        size_t row = 0;
        while (row < end && inputMask[row] == '1')
            ++row;
        if (row >= kMaxDevices)
            break;
        if (row == end)
            inputMask[row + 1] = '\0';
        inputMask[row] = '1';
        maskPorts[row] = name;
    }
}

void CMIDIDevices::SetOutputName(const char* name) {
    CopyName(chosenOutput, name);
    CopyName(outputName, name);
    CopyName(g_GlobalData.MIDIDeviceOut, chosenOutput);
}

bool CMIDIDevices::Start(CSynth* s) {
    synth.store(s);
    char error[kErrorSize] = {};
    const bool opened = OpenInputs(error) && OpenOutput(error);
    // An output not opened for an input that failed is not joined either;
    // the next change of ports or look at the menu joins it.
    if (!output)
        CopyName(outputName, kNoOutput);
    StartTimer(1);
    return opened;
}

bool CMIDIDevices::OpenInputs(char* errorText) {
    listedInputs = ListInputs();
    return JoinInputs(listedInputs, errorText);
}

void CMIDIDevices::FollowPorts() {
    Ports().Tidy();
    const bool changed = os::OJackClient::TakePortsChanged();
    if (!synth.load())
        return;
    // A join the server refused (now and then it does not know yet a port
    // it just announced) is tried again at the next ticks, a few times: a
    // port that can never be joined is tried again only at the next change.
    if (changed)
        joinRetries = kJoinRetries;
    else if (!joinFailed || joinRetries == 0)
        return;
    else
        --joinRetries;
    // The menu keeps the rows it shows: a click means the port it showed.
    const bool inputsJoined = JoinInputs(ListInputs(), nullptr);
    joinFailed = !FollowOutput(ListOutputs()) || !inputsJoined;
}

bool CMIDIDevices::JoinInputs(const std::vector<std::string>& names, char* errorText) {
    // An input whose port left hears nothing, nor does it once a port of
    // that name came back: it lets go of what it held and, chosen and
    // listed, opens again below. The output's look below takes the same
    // wait.
    Ports().LetGraphSettle();
    for (int slot = 0; slot < kMaxDevices; ++slot)
        if (inputs[slot] && (std::find(names.begin(), names.end(), inputNames[slot]) == names.end() ||
                             !inputs[slot]->Connected()))
            CloseInput(slot);
    NameChosenRows(names);
    if (!std::strchr(inputMask, '1'))
        StoreMask(names.size());
    StoreNames();
    for (const std::string& name : names) {
        // A port already open is not opened twice (it would play every
        // note twice).
        const int row = ChosenRow(name);
        if (row < 0 || SlotOf(name) >= 0)
            continue;
        if (!OpenInput(name, row, errorText))
            return false;
    }
    return true;
}

// The row of the choice that stands for the port, -1 when none does.
int CMIDIDevices::ChosenRow(const std::string& name) const {
    const size_t length = std::min(std::strlen(inputMask), static_cast<size_t>(kMaxDevices));
    for (size_t i = 0; i < length; ++i)
        if (inputMask[i] == '1' && maskPorts[i] == name)
            return static_cast<int>(i);
    return -1;
}

bool CMIDIDevices::IsChosen(const std::string& name) const { return ChosenRow(name) >= 0; }

// A chosen row stands for the port the list first has on it; a port that
// another row stands for already is not taken twice.
void CMIDIDevices::NameChosenRows(const std::vector<std::string>& names) {
    const size_t length = std::min(std::strlen(inputMask), names.size());
    for (size_t i = 0; i < length; ++i)
        if (inputMask[i] == '1' && maskPorts[i].empty() && !IsChosen(names[i]))
            maskPorts[i] = names[i];
}

// Writes the choice anew by the rows of the list the menu shows: '1' where
// a chosen port is. Past those rows the choice keeps what the list does not
// show: a row no list has reached yet stays where it is, and a chosen port
// that is away takes its own row, or the first free one when its row now
// shows another port.
void CMIDIDevices::RebaseMask(const std::vector<std::string>& rows) {
    char mask[kNameSize];
    std::memset(mask, '0', sizeof mask);
    std::string ports[kMaxDevices];
    const size_t oldLength = std::strlen(inputMask);
    size_t length = std::max(oldLength, rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        if (IsChosen(rows[i])) {
            mask[i] = '1';
            ports[i] = rows[i];
        }
    std::vector<std::string> away;
    auto placed = [&](const std::string& port) {
        return std::find(away.begin(), away.end(), port) != away.end() ||
               std::find(std::begin(ports), std::end(ports), port) != std::end(ports);
    };
    for (size_t i = 0; i < oldLength; ++i) {
        if (inputMask[i] != '1')
            continue;
        const std::string port = i < kMaxDevices ? maskPorts[i] : std::string();
        if (!port.empty() && std::find(rows.begin(), rows.end(), port) != rows.end())
            continue;  // shown on its row of the list
        if (!port.empty() && placed(port))
            continue;  // a stored name listed twice: one row stands for it
        if (i >= rows.size()) {
            mask[i] = '1';
            if (i < kMaxDevices)
                ports[i] = port;
        } else if (!port.empty()) {
            away.push_back(port);
        }
    }
    size_t row = rows.size();
    for (const std::string& port : away) {
        while (row < kMaxDevices && mask[row] == '1')
            ++row;
        if (row == kMaxDevices)
            break;
        mask[row] = '1';
        ports[row] = port;
        length = std::max(length, row + 1);
    }
    mask[length] = '\0';
    CopyName(inputMask, mask);
    for (int i = 0; i < kMaxDevices; ++i)
        maskPorts[i] = ports[i];
}

// Without its trailing '0's; with nothing chosen, one '0' per listed input
// and at least one.
void CMIDIDevices::StoreMask(size_t listed) {
    size_t length = std::strlen(inputMask);
    while (length > 0 && inputMask[length - 1] != '1')
        --length;
    if (length == 0) {
        length = std::clamp(listed, size_t{1}, static_cast<size_t>(kMaxDevices));
        std::memset(inputMask, '0', length);
    }
    inputMask[length] = '\0';
    CopyName(g_GlobalData.MIDIDeviceIn, inputMask);
}

// One entry per '1' of the mask, up to the last that names a port.
void CMIDIDevices::StoreNames() {
    std::vector<std::string> entries;
    size_t named = 0;
    const size_t length = std::min(std::strlen(inputMask), static_cast<size_t>(kMaxDevices));
    for (size_t i = 0; i < length; ++i)
        if (inputMask[i] == '1') {
            entries.push_back(maskPorts[i]);
            if (!maskPorts[i].empty())
                named = entries.size();
        }
    entries.resize(named);
    // A choice that still stands for the ports the stored names gave is
    // written back as it was read, escapes and all.
    std::vector<std::string> read = SplitNames(storedNames);
    while (!read.empty() && read.back().empty())
        read.pop_back();
    g_GlobalData.MIDIDeviceInNames = read == entries ? storedNames : JoinNames(entries);
}

// Open inputs are kept by port name in slots of their own: a row of the list
// is a different port once a port is made or goes ahead of it.
int CMIDIDevices::SlotOf(const std::string& name) const {
    for (int slot = 0; slot < kMaxDevices; ++slot)
        if (inputs[slot] && inputNames[slot] == name)
            return slot;
    return -1;
}

// The program's own port is named by the row of the choice (place), not by
// the order the keyboards came in.
bool CMIDIDevices::OpenInput(const std::string& name, int place, char* errorText) {
    int slot = 0;
    while (slot < kMaxDevices && inputs[slot])
        ++slot;
    if (slot == kMaxDevices) {
        SetError(errorText, "no room for another MIDI input");
        return false;
    }
    std::string error;
    inputSlots[slot].Clear();
    inputs[slot] = Ports().OpenInput(name, place, &CMIDIDevices::MidiInProc, &inputSlots[slot], error);
    if (!inputs[slot]) {
        SetError(errorText, error);
        return false;
    }
    inputNames[slot] = name;
    return true;
}

void CMIDIDevices::CloseInputs() {
    for (int i = 0; i < kMaxDevices; ++i)
        CloseInput(i);
}

void CMIDIDevices::CloseInput(int slot) {
    if (!inputs[slot])
        return;
    // Once the port is gone no callback runs: what it holds is final.
    inputs[slot].reset();
    inputNames[slot].clear();
    ReleaseHeld(inputSlots[slot]);
}

void CMIDIDevices::ReleaseHeld(InputSlot& slot) {
    CSynth* s = synth.load();
    // After everything the input sent, whichever queue that waits in and
    // whenever it falls due: the input's own time goes on from its last
    // message, never back before it.
    uint32_t time = os::StampMicros();
    const uint32_t last = slot.lastTime.load(std::memory_order_relaxed) + 1;
    if (static_cast<int32_t>(last - time) > 0)
        time = last;
    // And no sooner than what the input still has waiting in the real-time
    // queue, wherever the time places it.
    const bool realTime = slot.realTime.load(std::memory_order_relaxed);
    const int32_t lastDue = slot.lastDue.load(std::memory_order_relaxed);
    auto release = [&](uint32_t message) {
        if (s && realTime)
            s->ProcessMidiMessageAfter(message, time, lastDue);
        else if (s)
            s->ProcessMidiMessageAt(message, time);
    };
    for (uint32_t channel = 0; channel < 16; ++channel) {
        for (uint32_t word = 0; word < 4; ++word) {
            uint32_t bits = slot.keys[channel][word].exchange(0, std::memory_order_relaxed);
            for (; bits != 0; bits &= bits - 1) {
                const uint32_t key = word * 32 + static_cast<uint32_t>(__builtin_ctz(bits));
                release(0x80u | channel | key << 8);
            }
        }
    }
    // The pedal goes up after the keys, as a player lets go of it.
    const uint32_t pedals = slot.pedals.exchange(0, std::memory_order_relaxed);
    for (uint32_t channel = 0; channel < 16; ++channel)
        if ((pedals >> channel & 1u) != 0)
            release(0xB0u | channel | 64u << 8);
}

void CMIDIDevices::InputSlot::Clear() {
    for (auto& channel : keys)
        for (auto& word : channel)
            word.store(0, std::memory_order_relaxed);
    pedals.store(0, std::memory_order_relaxed);
    lastTime.store(os::StampMicros(), std::memory_order_relaxed);
    realTime.store(false, std::memory_order_relaxed);
}

void CMIDIDevices::InputSlot::Track(uint32_t message) {
    const uint32_t status = message & 0xF0u;
    const uint32_t channel = message & 0x0Fu;
    const uint32_t data1 = message >> 8 & 0x7Fu;
    const uint32_t data2 = message >> 16 & 0x7Fu;
    std::atomic<uint32_t>& word = keys[channel][data1 / 32];
    const uint32_t bit = 1u << (data1 % 32);
    if (status == 0x90 && data2 != 0) {
        word.fetch_or(bit, std::memory_order_relaxed);
    } else if (status == 0x80 || status == 0x90) {
        word.fetch_and(~bit, std::memory_order_relaxed);
    } else if (status == 0xB0 && data1 == 64) {
        if (data2 >= 64)
            pedals.fetch_or(1u << channel, std::memory_order_relaxed);
        else
            pedals.fetch_and(~(1u << channel), std::memory_order_relaxed);
    } else if (status == 0xB0 && data1 == 123) {
        // All notes off already released this channel's keys, and the
        // synthesizer lets the pedal go with them.
        for (auto& w : keys[channel])
            w.store(0, std::memory_order_relaxed);
        pedals.fetch_and(~(1u << channel), std::memory_order_relaxed);
    }
}

bool CMIDIDevices::OpenOutput(char* errorText) { return OpenOutputFrom(ListOutputs(), errorText); }

// The device of the chosen name in names; the count when it has none. The
// name is kept to 63 characters, so a longer one compares by those.
size_t CMIDIDevices::ChosenOutputIn(const std::vector<std::string>& names) const {
    size_t device = 0;
    while (device < names.size() && names[device].substr(0, kNameSize - 1) != chosenOutput)
        ++device;
    return device;
}

// What is joined is what the output's name says (the Setup page shows it):
// "none" while the chosen port is away or would not open. The choice stays.
bool CMIDIDevices::OpenOutputFrom(const std::vector<std::string>& names, char* errorText) {
    size_t device = ChosenOutputIn(names);
    // A chosen port that is not there connects nothing, and is no success.
    bool failed = device == names.size() && !NamesNoOutput(chosenOutput);
    if (failed)
        SetError(errorText, "no MIDI output named \"" + std::string(chosenOutput) + "\"");
    if (device == names.size())
        device = 0;
    std::unique_ptr<os::OMidiOutput> opened;
    if (device != 0) {
        std::string error;
        opened = Ports().OpenOutput(names[device], error);
        if (!opened) {
            SetError(errorText, error);
            failed = true;
            device = 0;
        }
    }
    std::unique_ptr<os::OMidiOutput> previous;
    {
        std::lock_guard<std::mutex> lock(outputLock);
        PublishCycleOutput(opened && opened->SendsInCycle() ? opened.get() : nullptr);
        previous = std::move(output);
        output = std::move(opened);
        droppedSaid.store(false);
        // A chosen port that is not joined drops what the song sends.
        outputLost.store(failed);
    }
    outputDevice = static_cast<int32_t>(device);
    CopyName(outputName, names[device].c_str());
    if (!output)
        timer.Stop();  // nothing to send to
    RunTimerWithOutput();
    return !failed;
}

// After the inputs' look (its wait for the server's graph): the output
// follows its port as an input does. One whose port left, or left and came
// back, lets go; the chosen port, listed and not joined, is joined. False
// when it is listed and would not open.
bool CMIDIDevices::FollowOutput(const std::vector<std::string>& names) {
    const bool listed = ChosenOutputIn(names) != names.size() && !NamesNoOutput(chosenOutput);
    if (output ? listed && output->Connected() : !listed)
        return true;
    if (output) {
        CloseOutputs();
        // What the song sends meanwhile reaches nothing, as it does when
        // the port refuses it: counted, and said once.
        outputLost.store(true);
    }
    if (!listed) {
        outputDevice = 0;
        CopyName(outputName, kNoOutput);
        return true;
    }
    return OpenOutputFrom(names, nullptr);
}

void CMIDIDevices::CloseOutputs() {
    // Nothing to send to: the timer rests (an idle program would otherwise
    // wake a thousand times a second for nothing).
    timer.Stop();
    std::unique_ptr<os::OMidiOutput> closing;
    {
        // Taking the lock waits for a flush that is sending right now.
        std::lock_guard<std::mutex> lock(outputLock);
        PublishCycleOutput(nullptr);
        closing = std::move(output);
        outputLost.store(false);
    }
    closing.reset();
    outputDevice = -1;
}

bool CMIDIDevices::StartTimer(int32_t periodMs) {
    if (periodMs < 1 || periodMs > 10000)
        return false;
    timerPeriod.store(periodMs);
    return RunTimerWithOutput();
}

bool CMIDIDevices::RunTimerWithOutput() {
    const int32_t period = timerPeriod.load();
    if (period == 0 || timer.IsRunning())
        return true;
    {
        std::lock_guard<std::mutex> lock(outputLock);
        if (!output)
            return true;
    }
    // What was queued while nothing sent is stale: a new output starts
    // from the notes that come from now on.
    outRead.store(outWrite.load(std::memory_order_acquire), std::memory_order_release);
    return timer.Start(period, &CMIDIDevices::TimerProc, this);
}

void CMIDIDevices::CloseAll() {
    CloseInputs();
    timerPeriod.store(0);
    timer.Stop();
    CloseOutputs();
}

void CMIDIDevices::Detach(const CSynth* s) {
    if (!s || synth.load() != s)
        return;
    CloseAll();
    synth.store(nullptr);
    // Nothing plays any more: the lists' client goes too.
    Ports().LetGo();
}

void CMIDIDevices::ToggleInput(int32_t index) {
    // The row the menu showed, whatever was made or went since it opened.
    const std::vector<std::string> rows = listedInputs;
    if (index < 0 || static_cast<size_t>(index) >= rows.size())
        return;
    NameChosenRows(rows);
    RebaseMask(rows);
    // Only that input opens or closes: reopening the others would drop
    // note-offs that arrive meanwhile and leave their notes hanging. A row
    // not ticked is one the user wants joined; one that will not open is
    // not chosen by the click.
    const size_t row = static_cast<size_t>(index);
    const std::string& name = rows[row];
    bool chosen = false;
    if (const int slot = SlotOf(name); slot >= 0)
        CloseInput(slot);
    else
        chosen = OpenInput(name, static_cast<int>(row), nullptr);
    inputMask[row] = chosen ? '1' : '0';
    maskPorts[row] = chosen ? name : std::string();
    StoreMask(rows.size());
    StoreNames();
}

void CMIDIDevices::SelectOutput(int32_t index) {
    const std::vector<std::string> names = ListOutputs();
    if (index < 0 || static_cast<size_t>(index) >= names.size())
        return;
    CloseOutputs();
    CopyName(chosenOutput, names[static_cast<size_t>(index)].c_str());
    CopyName(g_GlobalData.MIDIDeviceOut, chosenOutput);
    OpenOutputFrom(names, nullptr);
}

void CMIDIDevices::BuildMenus(CUIMenuResource&) {
    // A tick is a port that is joined now: chosen ports that came back
    // are joined first.
    OpenInputs();
    const std::vector<std::string> outputs = ListOutputs();
    FollowOutput(outputs);
    FillMenu(kOutputMenu, outputs, outputDeviceNames,
             [&](uint32_t i) { return std::strcmp(outputDeviceNames[i], outputName) == 0; });
    FillMenu(kInputMenu, listedInputs, inputDeviceNames, [&](uint32_t i) { return SlotOf(listedInputs[i]) >= 0; });
}

// Row i + 1 of the menu stands for device i; rows past the devices go.
template <class Checked>
void CMIDIDevices::FillMenu(uint32_t menuId, const std::vector<std::string>& names,
                            char (&texts)[kMaxDevices][kNameSize], Checked checked) {
    for (uint32_t i = 0; i < kMaxDevices; ++i) {
        if (i < names.size()) {
            CopyName(texts[i], names[i].c_str());
            CUIMenuResource::SetItem(menuId, i + 1, kMenuItem, 0, static_cast<int32_t>(i),
                                     checked(i) ? 1 : 0, texts[i]);
        } else {
            CUIMenuResource::SetItem(menuId, i + 1, kMenuDelete, 0, 0, 0, nullptr);
        }
    }
}

void CMIDIDevices::QueueOut(uint32_t sampleTime, int32_t status, int32_t data1, int32_t data2) {
    const int32_t w = outWrite.load(std::memory_order_relaxed);
    const int32_t next = (w + 1) % kRingSize;
    if (next == outRead.load(std::memory_order_acquire)) {
        // Overwriting would make the ring read as empty and lose all of it.
        droppedOut.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    outMessages[w] = (static_cast<uint32_t>(status) & 0xFF) | (static_cast<uint32_t>(data1) & 0xFF) << 8 |
                     (static_cast<uint32_t>(data2) & 0xFF) << 16;
    outTimes[w] = sampleTime;
    outWrite.store(next, std::memory_order_release);
}

void CMIDIDevices::PublishCycleOutput(os::OMidiOutput* out) {
    // A flush in progress ends first: neither the timer's nor the cycle's
    // waits on anything.
    while (flushBusy.exchange(true))
        std::this_thread::yield();
    cycleOutput.store(out);
    flushedInCycle.store(false);
    flushBusy.store(false);
}

void CMIDIDevices::FlushInCycle(int32_t frames, int32_t held) {
    if (frames <= 0 || cycleOutput.load() == nullptr || flushBusy.exchange(true))
        return;
    os::OMidiOutput* out = cycleOutput.load();
    flushedInCycle.store(true, std::memory_order_relaxed);
    // The render set the clock to the time of its first new block; its
    // frames before that were held over from the call before.
    const uint32_t first = GetOutClock() - static_cast<uint32_t>(held);
    int32_t r = outRead.load(std::memory_order_relaxed);
    while (out && r != outWrite.load(std::memory_order_acquire)) {
        const auto frame = static_cast<int32_t>(outTimes[r] - first);
        if (frame >= frames)
            break;
        // One that waited (its call was silent, or the output was being
        // changed) goes at the cycle's start.
        if (!out->SendInCycle(outMessages[r], static_cast<uint32_t>(std::max(frame, 0))))
            droppedOut.fetch_add(1, std::memory_order_relaxed);
        r = (r + 1) % kRingSize;
        outRead.store(r, std::memory_order_release);
    }
    flushBusy.store(false);
}

void CMIDIDevices::FlushOut() {
    // The render's cycles send at their frames: the clock is theirs.
    if (cycleOutput.load() && flushedInCycle.load(std::memory_order_relaxed) && os::OJackClient::RendersAudio())
        return;
    // The GUI thread may change the rate meanwhile.
    const int32_t rate = std::atomic_ref<int32_t>(g_GlobalData.sampleRate).load(std::memory_order_relaxed);
    const double advanced = rate / 1000.0 + static_cast<double>(GetOutClock());
    const uint32_t clock = static_cast<uint32_t>(static_cast<uint64_t>(advanced));
    SetOutClock(clock);
    std::unique_lock<std::mutex> lock(outputLock, std::try_to_lock);
    if (!lock.owns_lock())
        return; // the output is being changed: send at the next tick
    int32_t r = outRead.load(std::memory_order_relaxed);
    while (r != outWrite.load(std::memory_order_acquire)) {
        // By signed difference: a time just past a wrap of the clock is
        // still later, and a clock set "below zero" sends nothing early.
        if (static_cast<int32_t>(outTimes[r] - clock) > 0)
            break;
        if (output ? !output->Send(outMessages[r]) : outputLost.load()) {
            // Nothing takes them from the port (its server went or stalls):
            // counted, and said once per output.
            droppedOut.fetch_add(1, std::memory_order_relaxed);
            if (!droppedSaid.exchange(true))
                CDebug::Log("MIDI out: the output port takes no more messages; they are dropped");
        }
        r = (r + 1) % kRingSize;
        outRead.store(r, std::memory_order_release);
    }
}

bool CMIDIDevices::IsInputOpen(int index) const {
    return index >= 0 && static_cast<size_t>(index) < listedInputs.size() &&
           SlotOf(listedInputs[static_cast<size_t>(index)]) >= 0;
}

void CMIDIDevices::MidiInProc(void* user, uint32_t message, uint32_t timeUs, int32_t frame) {
    auto* slot = static_cast<InputSlot*>(user);
    slot->Track(message);
    // One thread hands an input's messages on: a plain read and write.
    if (static_cast<int32_t>(timeUs - slot->lastTime.load(std::memory_order_relaxed)) > 0)
        slot->lastTime.store(timeUs, std::memory_order_relaxed);
    CSynth* s = slot->owner->synth.load();
    if (!s)
        return;
    if (frame == os::kNotInCycle && !os::OJackClient::InProcessCallback()) {
        s->ProcessMidiMessageAt(message, timeUs);
        return;
    }
    slot->lastDue.store(frame != os::kNotInCycle ? s->ProcessMidiMessageInCycle(message, frame, timeUs)
                                                 : s->ProcessRealTimeMidiMessage(message, timeUs),
                        std::memory_order_relaxed);
    slot->realTime.store(true, std::memory_order_relaxed);
}

void CMIDIDevices::TimerProc(void* user) {
    auto* self = static_cast<CMIDIDevices*>(user);
    if (self->flushBusy.exchange(true))
        return;
    self->FlushOut();
    self->flushBusy.store(false);
}
