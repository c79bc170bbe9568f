#pragma once
// Guards for the process-wide state that tests change: each takes a copy
// when it is made and puts it back when it goes, on every way out of the
// test. A test program runs its tests in any order in one process, so a
// test that leaves a global changed decides what the tests after it see.
#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "gui/CUIMenuResource.h"
#include "platform/CGlobalData.h"

namespace testutil {

// The menu table: a synthesizer writes its program and bank names into it,
// the device lists write their devices. Rows that point at their own text
// get it back too, since every row returns to its own place.
class ScopedMenuTable {
public:
    ScopedMenuTable() : m_rows(MenuTableRows(), MenuTableRows() + kMenuRows) {}
    ~ScopedMenuTable() { std::copy(m_rows.begin(), m_rows.end(), MenuTableRows()); }
    ScopedMenuTable(const ScopedMenuTable&) = delete;
    ScopedMenuTable& operator=(const ScopedMenuTable&) = delete;

private:
    std::vector<MenuEntry> m_rows;
};

// The settings (devices, paths, rate, latency): device tests store what
// they opened. A CGlobalData that goes writes the settings file: the copy
// goes only once told to leave it.
class ScopedSettings {
public:
    ScopedSettings() { new (&m_saved) CGlobalData(g_GlobalData); }
    ~ScopedSettings() {
        g_GlobalData = m_saved;
        m_saved.LeaveSettingsFile();
        m_saved.~CGlobalData();
    }
    ScopedSettings(const ScopedSettings&) = delete;
    ScopedSettings& operator=(const ScopedSettings&) = delete;

private:
    union {
        CGlobalData m_saved;
    };
};

// Any one variable (a flag, a number, a plain struct) for the guard's life.
template <class T>
class ScopedValue {
public:
    explicit ScopedValue(T& value) : m_value(value), m_saved(value) {}
    ~ScopedValue() { m_value = m_saved; }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

private:
    T& m_value;
    T m_saved;
};

} // namespace testutil
