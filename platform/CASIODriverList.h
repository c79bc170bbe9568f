#pragma once
// The installed low-latency drivers, in a fixed order, each made by name.
// The only driver here is "JACK", listed when a JACK server answers. The
// list is made on first use and kept; tests put their own drivers in it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace os { class OAudioDriver; }

class CASIODriverList {
public:
    using Factory = std::function<std::unique_ptr<os::OAudioDriver>()>;
    struct Source {
        std::string name;
        Factory create;
    };

    enum : int32_t { kNullBuffer = -5001, kAlreadyOpen = -5002, kNotInList = -5003 };

    // The process's list, made on first use.
    static CASIODriverList& Get();
    // The loaded driver, without making the list: a rate change with no
    // output open asks no server anything.
    static os::OAudioDriver* Loaded();
    // Makes the list again: from `sources` when given, else by asking the
    // system. Releases the loaded driver first.
    static void Rescan(const std::vector<Source>* sources = nullptr);

    int32_t Count() const { return static_cast<int32_t>(m_entries.size()); }
    // The entry's name; one of `size` characters or more is cut to size - 4
    // characters and "...".
    int32_t GetDriverName(int32_t index, char* out, int32_t size) const;
    int32_t OpenDriver(int32_t index, os::OAudioDriver** out);
    int32_t CloseDriver(int32_t index);
    // Loads the driver of that name in place of the current one; when it
    // cannot be opened the previous one is loaded again and the answer is false.
    bool LoadDriver(const char* name);
    void RemoveCurrentDriver();
    os::OAudioDriver* Current() const;

private:
    struct Entry {
        int32_t index = 0;
        std::string name;
        Factory create;
        std::unique_ptr<os::OAudioDriver> driver;
    };

    explicit CASIODriverList(const std::vector<Source>& sources);
    static std::vector<Source> SystemSources();

    std::vector<Entry> m_entries;
    int32_t m_current = -1;
};

bool LoadASIODriver(const char* name);
