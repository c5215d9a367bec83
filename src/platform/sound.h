// Playing the alert sound. Shaped on sndPlaySound with the flag word 0: the
// call plays a WAV file once and returns when it has finished; when the file
// is missing or cannot be played, a default alert sound plays instead; with no
// audio device it stays silent. The result is for tests and logs only.
#pragma once

#include <filesystem>

namespace zarvex::platform {

enum class PlayResult { File, DefaultSound, Silent };

class Sound {
public:
    virtual ~Sound() = default;
    virtual PlayResult PlaySync(const std::filesystem::path& wavFile) = 0;
};

} // namespace zarvex::platform
