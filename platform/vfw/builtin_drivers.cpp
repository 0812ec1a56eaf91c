#include "platform/vfw/builtin_drivers.h"

extern "C" {
#include <libavutil/log.h>
}

#include "platform/vfw/avcodec_driver.h"
#include "platform/vfw/codec_table.h"

namespace platform::vfw {

std::vector<std::shared_ptr<CodecDriver>> BuiltInDrivers() {
    // The encoders' chatter (x264's statistics at every stream's end) is nobody's business; the
    // drivers report what goes wrong through their results.
    av_log_set_level(AV_LOG_ERROR);
    return DriversFor(EncoderTable());
}

}  // namespace platform::vfw
