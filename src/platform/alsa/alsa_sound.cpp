#include "platform/alsa/alsa_sound.h"

#include <alsa/asoundlib.h>
#include <sndfile.h>

#include <cerrno>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace zarvex::platform::alsa {

namespace {

struct Clip {
    std::vector<int16_t> samples; // interleaved
    unsigned rate = 0;
    unsigned channels = 0;
};

bool Decode(const std::filesystem::path& file, Clip& clip)
{
    SF_INFO info{};
    std::unique_ptr<SNDFILE, decltype(&sf_close)> f(sf_open(file.c_str(), SFM_READ, &info), sf_close);
    if (!f || info.channels <= 0 || info.channels > 8 || info.samplerate <= 0 || info.frames <= 0
        || info.frames > 60LL * info.samplerate)
        return false;
    clip.rate = static_cast<unsigned>(info.samplerate);
    clip.channels = static_cast<unsigned>(info.channels);
    clip.samples.resize(static_cast<size_t>(info.frames) * clip.channels);
    const sf_count_t read = sf_readf_short(f.get(), clip.samples.data(), info.frames);
    if (read <= 0)
        return false;
    clip.samples.resize(static_cast<size_t>(read) * clip.channels);
    return true;
}

// The default alert: two short beeps, in place of a file that cannot be played.
Clip DefaultAlert()
{
    Clip clip;
    clip.rate = 22050;
    clip.channels = 1;
    const auto tone = static_cast<size_t>(clip.rate * 0.15);
    const auto gap = static_cast<size_t>(clip.rate * 0.08);
    for (int beep = 0; beep < 2; ++beep) {
        for (size_t i = 0; i < tone; ++i) {
            const double t = static_cast<double>(i) / clip.rate;
            const double edge = static_cast<double>(std::min(i, tone - i));
            const double fade = std::min(1.0, edge / (0.005 * clip.rate));
            clip.samples.push_back(static_cast<int16_t>(9000 * fade * std::sin(2 * std::numbers::pi * 880 * t)));
        }
        clip.samples.insert(clip.samples.end(), gap, 0);
    }
    return clip;
}

// ALSA prints its own errors (no card, no "default") on standard error; a
// machine without sound is normal here and simply stays silent.
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

bool Play(const Clip& clip)
{
    static const bool quiet = (snd_lib_error_set_handler(&QuietAlsaErrors), true);
    (void)quiet;
    snd_pcm_t* raw = nullptr;
    // Opened without waiting: a device that another program holds answers
    // EBUSY (or EAGAIN) at once, where a blocking open would hold the window
    // thread until it is free. Busy or absent, this tick stays silent; the
    // next one tries again.
    if (snd_pcm_open(&raw, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return false;
    std::unique_ptr<snd_pcm_t, decltype(&snd_pcm_close)> pcm(raw, snd_pcm_close);
    // Once it is ours, writes wait for room in the buffer: the whole clip plays.
    if (snd_pcm_nonblock(pcm.get(), 0) < 0)
        return false;
    if (snd_pcm_set_params(pcm.get(), SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, clip.channels, clip.rate, 1,
                           500000)
        < 0)
        return false;
    const snd_pcm_uframes_t frames = clip.samples.size() / clip.channels;
    snd_pcm_uframes_t done = 0;
    while (done < frames) {
        const snd_pcm_sframes_t n
            = snd_pcm_writei(pcm.get(), clip.samples.data() + done * clip.channels, frames - done);
        if (n == -EAGAIN) {
            snd_pcm_wait(pcm.get(), 100);
            continue;
        }
        if (n < 0) {
            if (snd_pcm_recover(pcm.get(), static_cast<int>(n), 1) < 0)
                return false;
            continue;
        }
        done += static_cast<snd_pcm_uframes_t>(n);
    }
    snd_pcm_drain(pcm.get()); // synchronous: back only when it has been played
    return true;
}

} // namespace

PlayResult AlsaSound::PlaySync(const std::filesystem::path& wavFile)
{
    Clip clip;
    if (Decode(wavFile, clip))
        return Play(clip) ? PlayResult::File : PlayResult::Silent;
    return Play(DefaultAlert()) ? PlayResult::DefaultSound : PlayResult::Silent;
}

} // namespace zarvex::platform::alsa
