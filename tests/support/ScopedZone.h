// A time zone for the length of a test: TZ set and the zone read again, then both put back.
// Zone names come from the system's zone data; POSIX rules ("UTC0") need none.
#pragma once

#include <cstdlib>
#include <string>

#include "platform/WallClock.h"

class ScopedZone {
public:
    explicit ScopedZone(const char* zone) {
        const char* old = std::getenv("TZ");
        m_hadOld = old != nullptr;
        m_old = m_hadOld ? old : "";
        setenv("TZ", zone, 1);
        ReloadTimeZone();
    }
    ~ScopedZone() {
        m_hadOld ? setenv("TZ", m_old.c_str(), 1) : unsetenv("TZ");
        ReloadTimeZone();
    }
    ScopedZone(const ScopedZone&) = delete;
    ScopedZone& operator=(const ScopedZone&) = delete;

private:
    bool m_hadOld = false;
    std::string m_old;
};
