// A time zone for the length of a test: TZ set and the zone read again, then both put back.
// Zone names come from the system's zone data; POSIX rules ("UTC0") need none. (Windows takes
// its zone from the system's settings, never from TZ: under it a test sees the machine's zone.)
#pragma once

#include <cstdlib>
#include <string>

#include "platform/ProcessInfo.h"
#include "platform/WallClock.h"
#include "platform/WideText.h"

class ScopedZone {
public:
    explicit ScopedZone(const char* zone) {
        const char* old = std::getenv("TZ");
        m_hadOld = old != nullptr;
        m_old = m_hadOld ? old : "";
        SetEnvironmentText("TZ", Utf8ToWideLossy(zone));
        ReloadTimeZone();
    }
    ~ScopedZone() {
        m_hadOld ? SetEnvironmentText("TZ", Utf8ToWideLossy(m_old)) : ClearEnvironmentText("TZ");
        ReloadTimeZone();
    }
    ScopedZone(const ScopedZone&) = delete;
    ScopedZone& operator=(const ScopedZone&) = delete;

private:
    bool m_hadOld = false;
    std::string m_old;
};
