// The codecs installed on this system, in their fixed enumeration order.
#pragma once

#include <memory>
#include <vector>

#include "platform/vfw/vfw.h"

namespace platform::vfw {

std::vector<std::shared_ptr<CodecDriver>> BuiltInDrivers();

}  // namespace platform::vfw
