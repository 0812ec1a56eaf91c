#include "platform/vfw/builtin_drivers.h"

namespace platform::vfw {

std::vector<std::shared_ptr<CodecDriver>> BuiltInDrivers() { return {}; }

}  // namespace platform::vfw
