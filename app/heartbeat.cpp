#include "app/heartbeat.h"

namespace Heartbeat {

void beat() {}

} // namespace Heartbeat
