// Any bytes as the list of game ports a test hands the program: either refused with the
// endpoints untouched, or every port the list names is one a socket can be given.

#include "telemetry/telemetryendpoints.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString ports = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    TelemetryEndpoints endpoints;
    QString error;
    const bool ok = endpoints.applyPorts(ports, &error);
    const TelemetryEndpoints untouched;
    if (!ok && (error.isEmpty() || endpoints.dcsPort != untouched.dcsPort ||
                endpoints.warthunderUrl != untouched.warthunderUrl ||
                endpoints.xplanePort != untouched.xplanePort)) {
        __builtin_trap();
    }
    if (ok && (endpoints.dcsPort == 0 || endpoints.il2Port == 0 || endpoints.condorPort == 0 ||
               endpoints.xplanePort == 0 || !endpoints.warthunderUrl.isValid() ||
               endpoints.warthunderUrl.port() < 1)) {
        __builtin_trap();
    }
    return 0;
}
