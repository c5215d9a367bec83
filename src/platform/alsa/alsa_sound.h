// Sound through ALSA's default device, files decoded with libsndfile.
#pragma once

#include "platform/sound.h"

namespace zarvex::platform::alsa {

class AlsaSound : public Sound {
public:
    PlayResult PlaySync(const std::filesystem::path& wavFile) override;
};

} // namespace zarvex::platform::alsa
