#include "platform/vfw/builtin_drivers.h"

#include "platform/vfw/avcodec_driver.h"
#include "platform/vfw/codec_table.h"

namespace platform::vfw {

std::vector<std::shared_ptr<CodecDriver>> BuiltInDrivers() {
    return DriversFor(EncoderTable());
}

}  // namespace platform::vfw
