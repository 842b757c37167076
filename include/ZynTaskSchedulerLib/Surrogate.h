// A surrogate host: a process that loads an in-process server's library on a client's behalf so
// that its classes can be made as local servers. Asked for by the class identity the host runs
// under. No such host exists on this platform: making one answers REGDB_E_CLASSNOTREG, as every
// local-server activation does.
#pragma once

#ifdef _WIN32
#include <objidl.h>
#else

#include "ZynTaskSchedulerLib/Unknown.h"

inline constexpr IID IID_ISurrogate = {
    0x00000022, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct ISurrogate : IUnknown {
    // Loads the library that serves `rclsid` into the host.
    virtual HRESULT LoadDllServer(REFCLSID rclsid) = 0;
    virtual HRESULT FreeSurrogate() = 0;

protected:
    ~ISurrogate() = default;
};
#endif
