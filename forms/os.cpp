// SPDX-License-Identifier: MIT
#include "forms/os.h"

#include <atomic>

#ifdef _WIN32
#include "forms/win32/real_os.h"
#else
#include "forms/fake_os.h"
#endif

namespace forms {

namespace {

OsApi& DefaultOs()
{
    // Never destroyed: worker threads may still call it while the process exits.
#ifdef _WIN32
    static OsApi* os = new RealOs();
#else
    static OsApi* os = new FakeOs();
#endif
    return *os;
}

std::atomic<OsApi*> installed{nullptr};

}  // namespace

OsApi& Os()
{
    OsApi* os = installed.load();
    return os ? *os : DefaultOs();
}

OsApi* SetOs(OsApi* os)
{
    return installed.exchange(os);
}

}  // namespace forms
