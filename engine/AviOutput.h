// What a recording writes to, shared by the recorder's steps in their two files.
#pragma once

#include <memory>

#include "engine/Korvex_ScrCam_Unit.h"
#include "engine/Narration.h"
#include "platform/avifile/avifile.h"

namespace engine {

// The open file and its streams; letting them go finishes the file. The sound stream and its
// narration exist when the microphone is recorded and its capture runs.
struct TScreenCam::AviOutput {
    platform::avifile::FileHandle file;
    platform::avifile::StreamHandle stream;
    platform::avifile::StreamHandle compressed;
    std::unique_ptr<Narration> narration;
    platform::avifile::StreamHandle sound;
};

}  // namespace engine
