// The alert sound through ALSA for real, with ALSA's default device routed
// into a file: what is played can be compared byte for byte.
#include "platform/alsa/alsa_sound.h"

#include <alsa/asoundlib.h>
#include <sndfile.h>

#include "support/temp_folder.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <future>
#include <sys/file.h>

using namespace zarvex::platform;
using zarvex::test::Slurp;
namespace fs = std::filesystem;

// A busy device costs the tick its sound, not a wait, and the next tick plays.
TEST(AlsaSound, PlaysTheFileOrTheDefaultSoundOrNothingAndSkipsABusyDevice)
{
    const zarvex::test::TempFolder dir("alsa");
    const fs::path wav = fs::path(ZARVEX_DATA_DIR) / "tx.wav", missing = dir / "missing.wav",
                   broken = dir / "broken.wav", lock = dir / "device.lock", capture = dir / "capture.raw",
                   conf = dir / "asound.conf";
    ::setenv("ALSA_CONFIG_PATH", conf.c_str(), 1); // the whole configuration: it replaces ALSA's own
    std::ofstream(broken) << "RIFF not really a wave file";
    SF_INFO info{}; // what a play of the file must put out, as libsndfile decodes it
    SNDFILE* decoded = sf_open(wav.c_str(), SFM_READ, &info);
    std::string samples(static_cast<size_t>(info.frames * info.channels) * 2, '\0');
    sf_readf_short(decoded, reinterpret_cast<short*>(samples.data()), info.frames);
    sf_close(decoded);
    const std::string noDevice = "pcm.!default { type hw card 97 }\n";
    const std::string toFile = "pcm_type.held { lib \"" ZARVEX_HELD_PCM "\" }\n"
                               "pcm.captured { type file slave { pcm { type null } } file \""
                               + capture.string() + "\" format \"raw\" }\n"
                               "pcm.!default { type held lock \"" + lock.string()
                               + "\" slave \"captured\" }\n";
    const struct {
        std::string route;
        fs::path file;
        bool busy; // another program holds the device
        PlayResult result;
    } cases[] = {
        {toFile, wav, true, PlayResult::Silent}, {toFile, wav, false, PlayResult::File},
        {toFile, missing, false, PlayResult::DefaultSound}, {toFile, broken, false, PlayResult::DefaultSound},
        {noDevice, wav, false, PlayResult::Silent}, // and harmless
        {noDevice, missing, false, PlayResult::Silent},
    };
    alsa::AlsaSound sound;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.route + c.file.string() + (c.busy ? " busy" : ""));
        fs::remove(capture);
        std::ofstream(conf) << c.route;
        snd_config_update_free_global(); // read the configuration afresh
        const int holder = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_EQ(c.busy ? ::flock(holder, LOCK_EX) : 0, 0);
        auto tick = std::async(std::launch::async, [&] { return sound.PlaySync(c.file); });
        const bool answered = tick.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        ::close(holder); // lets a tick that waits for the device go on
        EXPECT_TRUE(answered) << "the tick waited for the device";
        EXPECT_EQ(tick.get(), c.result);
        const std::string played = Slurp(capture);
        EXPECT_EQ(played.empty(), c.result == PlayResult::Silent);
        if (c.result == PlayResult::File)
            EXPECT_EQ(played, samples);
        if (c.result == PlayResult::DefaultSound) {
            EXPECT_EQ(played.size(), 2u * 2u * (3307u + 1764u)) << "two 0.15 s beeps with 0.08 s pauses";
            EXPECT_NE(played.find_first_not_of('\0'), std::string::npos) << "not silence";
        }
    }
    ::unsetenv("ALSA_CONFIG_PATH");
    snd_config_update_free_global();
}
