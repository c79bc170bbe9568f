#include "platform/CASIODriverList.h"

#include <cstdio>
#include <cstring>

#include "os/OJackClient.h"
#include "os/OJackDriver.h"

namespace {

// Never deleted: the globals that close the driver at exit run after every
// function-local static is gone.
CASIODriverList* g_list = nullptr;

} // namespace

CASIODriverList& CASIODriverList::Get() {
    if (!g_list) g_list = new CASIODriverList(SystemSources());
    return *g_list;
}

os::OAudioDriver* CASIODriverList::Loaded() { return g_list ? g_list->Current() : nullptr; }

void CASIODriverList::Rescan(const std::vector<Source>* sources) {
    if (g_list) g_list->RemoveCurrentDriver();
    delete g_list;
    g_list = new CASIODriverList(sources ? *sources : SystemSources());
}

std::vector<CASIODriverList::Source> CASIODriverList::SystemSources() {
    std::vector<Source> sources;
    if (os::OJackClient::ServerAnswers())
        sources.push_back({os::OJackDriver::kName, [] { return std::make_unique<os::OJackDriver>(); }});
    return sources;
}

CASIODriverList::CASIODriverList(const std::vector<Source>& sources) {
    for (const Source& s : sources)
        m_entries.push_back(Entry{static_cast<int32_t>(m_entries.size()), s.name, s.create, nullptr});
}

int32_t CASIODriverList::GetDriverName(int32_t index, char* out, int32_t size) const {
    if (!out) return kNullBuffer;
    if (index < 0 || index >= Count()) return kNotInList;
    if (size <= 0) return kNullBuffer;
    const std::string& name = m_entries[index].name;
    if (static_cast<int32_t>(name.size()) < size || size < 4) {
        std::snprintf(out, static_cast<size_t>(size), "%s", name.c_str());
    } else {
        std::memcpy(out, name.data(), static_cast<size_t>(size - 4));
        std::memcpy(out + size - 4, "...", 4);
    }
    return 0;
}

int32_t CASIODriverList::OpenDriver(int32_t index, os::OAudioDriver** out) {
    if (!out) return kNullBuffer;
    if (index < 0 || index >= Count()) return kNotInList;
    Entry& e = m_entries[index];
    if (e.driver) return kAlreadyOpen;
    e.driver = e.create ? e.create() : nullptr;
    *out = e.driver.get();
    return e.driver ? 0 : kNotInList;
}

int32_t CASIODriverList::CloseDriver(int32_t index) {
    if (index < 0 || index >= Count()) return kNotInList;
    m_entries[index].driver.reset();
    return 0;
}

os::OAudioDriver* CASIODriverList::Current() const {
    return m_current >= 0 ? m_entries[m_current].driver.get() : nullptr;
}

void CASIODriverList::RemoveCurrentDriver() {
    if (m_current >= 0) CloseDriver(m_current);
    m_current = -1;
}

bool CASIODriverList::LoadDriver(const char* name) {
    if (!name || m_entries.empty()) return false;
    int32_t found = -1;
    char listed[64];
    for (int32_t i = 0; i < Count() && found < 0; ++i)
        if (GetDriverName(i, listed, sizeof listed) == 0 && std::strcmp(listed, name) == 0) found = i;
    if (found < 0) return false;
    const int32_t previous = m_current;
    RemoveCurrentDriver();
    os::OAudioDriver* driver = nullptr;
    if (OpenDriver(found, &driver) == 0) {
        m_current = found;
        return true;
    }
    if (previous >= 0 && previous != found && OpenDriver(previous, &driver) == 0) m_current = previous;
    return false;
}

bool LoadASIODriver(const char* name) { return CASIODriverList::Get().LoadDriver(name); }
