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

namespace {

class AlsaSoundTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        ::unsetenv("ALSA_CONFIG_PATH");
        snd_config_update_free_global();
    }
    // The whole ALSA configuration: it replaces ALSA's own.
    void RouteDefaultTo(const std::string& pcm)
    {
        const fs::path conf = dir_ / "asound.conf";
        std::ofstream(conf) << pcm;
        ::setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
        snd_config_update_free_global(); // read the configuration afresh
    }
    zarvex::test::TempFolder temp_{"alsa"};
    const fs::path dir_ = temp_.Path(), capture_ = dir_ / "capture.raw";
    // A device that writes raw samples to capture_ (its null slave defined inline).
    const std::string fileDevice_ =
        "type file slave { pcm { type null } } file \"" + capture_.string() + "\" format \"raw\"";
};

std::string DecodedSamples(const fs::path& wav)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
    std::string out(static_cast<size_t>(info.frames * info.channels) * 2, '\0');
    sf_readf_short(f, reinterpret_cast<short*>(out.data()), info.frames);
    sf_close(f);
    return out;
}

} // namespace

TEST_F(AlsaSoundTest, PlaysTheFileOrTheDefaultSoundOrNothing)
{
    const fs::path wav = fs::path(ZARVEX_DATA_DIR) / "tx.wav", missing = dir_ / "missing.wav";
    std::ofstream(dir_ / "broken.wav") << "RIFF not really a wave file";
    const std::string samples = DecodedSamples(wav), toFile = "pcm.!default { " + fileDevice_ + " }\n",
                      noDevice = "pcm.!default { type hw card 97 }\n";
    ASSERT_EQ(samples.size(), 13230u * 2) << "0.6 s of 22050 Hz mono";
    const struct {
        std::string route;
        fs::path file;
        PlayResult result;
    } cases[] = {
        {toFile, wav, PlayResult::File},
        {toFile, missing, PlayResult::DefaultSound},
        {toFile, dir_ / "broken.wav", PlayResult::DefaultSound},
        {noDevice, wav, PlayResult::Silent}, // and harmless
        {noDevice, missing, PlayResult::Silent},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.route + c.file.string());
        fs::remove(capture_);
        RouteDefaultTo(c.route);
        alsa::AlsaSound sound;
        EXPECT_EQ(sound.PlaySync(c.file), c.result);
        const std::string played = Slurp(capture_);
        if (c.result == PlayResult::File)
            EXPECT_EQ(played, samples);
        if (c.result == PlayResult::DefaultSound) {
            EXPECT_EQ(played.size(), 2u * 2u * (3307u + 1764u)) << "two 0.15 s beeps with 0.08 s pauses";
            EXPECT_NE(played.find_first_not_of('\0'), std::string::npos) << "not silence";
        }
    }
}

TEST_F(AlsaSoundTest, BusyDeviceSkipsTheTickAndTheNextOnePlays)
{
    const fs::path lock = dir_ / "device.lock";
    RouteDefaultTo("pcm_type.held { lib \"" ZARVEX_HELD_PCM "\" }\n"
                   "pcm.captured { " + fileDevice_ + " }\n"
                   "pcm.!default { type held lock \"" + lock.string() + "\" slave \"captured\" }\n");
    const int holder = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600); // another program
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    alsa::AlsaSound sound;
    const fs::path wav = fs::path(ZARVEX_DATA_DIR) / "tx.wav";
    auto tick = std::async(std::launch::async, [&] { return sound.PlaySync(wav); });
    const bool answered = tick.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    ::close(holder); // lets a tick that waits for the device go on
    EXPECT_TRUE(answered) << "the tick waited for the busy device";
    EXPECT_EQ(tick.get(), PlayResult::Silent);
    EXPECT_FALSE(fs::exists(capture_));

    EXPECT_EQ(sound.PlaySync(wav), PlayResult::File) << "the next tick finds the device free";
    EXPECT_EQ(Slurp(capture_), DecodedSamples(wav));
}
