#pragma once
// A sound output as a looping ring of 16-bit stereo frames: the device takes
// bytes from the ring and moves two cursors; the program writes ahead of
// them. The one implementation plays through SDL; tests put fakes in its
// place.
#include <cstdint>
#include <string>
#include <vector>

namespace os {

class OSoundOut {
public:
    static constexpr int32_t kRingBytes = 65536;

    virtual ~OSoundOut() = default;

    // Playback device names; entry 0 is always the default device.
    virtual std::vector<std::string> ListDevices() = 0;
    // Opens device `name` (nullptr: the default) at `rate`, clears the ring
    // and starts looping through it; an open device is closed first.
    virtual bool Open(const char* name, int32_t rate) = 0;
    // Stops; when it returns the device reads the ring no more.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // play: start of the bytes the device is playing; write: the next byte
    // it takes (everything before it is the device's). Byte offsets in the ring.
    virtual bool GetCurrentPosition(int32_t& play, int32_t& write) = 0;
    // The ring's bytes [offset, offset + bytes), or nullptr when closed or
    // out of the ring.
    virtual uint8_t* Lock(int32_t offset, int32_t bytes) = 0;
    virtual void Unlock() {}
};

} // namespace os
