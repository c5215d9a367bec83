// An ALSA device that one program at a time may hold, as a sound card's is,
// for machines without one: while another program has the lock file locked,
// a blocking open waits for it and a non-blocking one answers EBUSY. Once
// free, it plays into the PCM named by "slave". Configured as
//   pcm_type.held { lib "/path/to/this.so" }
//   pcm.NAME { type held lock "/path/to/lock" slave "OTHER" }
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

extern "C" {

SND_PCM_PLUGIN_DEFINE_FUNC(held)
{
    const char *lock = nullptr, *slave = nullptr;
    snd_config_t* entry = nullptr;
    if (snd_config_search(conf, "lock", &entry) == 0)
        snd_config_get_string(entry, &lock);
    if (snd_config_search(conf, "slave", &entry) == 0)
        snd_config_get_string(entry, &slave);
    if (!lock || !slave)
        return -EINVAL;
    const int fd = ::open(lock, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -errno;
    if (::flock(fd, LOCK_EX | ((mode & SND_PCM_NONBLOCK) ? LOCK_NB : 0)) < 0) {
        ::close(fd);
        return -EBUSY;
    }
    ::close(fd); // the test holds it when it wants the device busy
    (void)name;
    return snd_pcm_open_lconf(pcmp, slave, stream, mode, root);
}
SND_PCM_PLUGIN_SYMBOL(held)

} // extern "C"
