// Profile files on POSIX systems: GBK through iconv, an advisory lock on the
// folder, and an atomic rename.
#include "platform/profile_file.h"

#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarvex::platform {

namespace {

// `text` converted by iconv; none when a byte sequence is invalid in `from`
// or a character has no place in `to`.
std::optional<std::string> Iconv(std::string_view text, const char* to, const char* from)
{
    const iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out(text.size() * 2 + 8, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    bool ok = true;
    while (ok && inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1))
            continue;
        ok = errno == E2BIG;
        if (ok) {
            const size_t used = out.size() - outLeft;
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = out.size() - used;
        }
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

bool IsUtf8(std::string_view s)
{
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t n = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07u;
        } else {
            return false;
        }
        if (i + n >= s.size())
            return false;
        for (size_t k = 1; k <= n; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3Fu);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += n + 1;
    }
    return true;
}

} // namespace

std::optional<std::string> FromLegacyText(std::string_view stored) { return Iconv(stored, "UTF-8", "CP936"); }
std::optional<std::string> ToLegacyText(std::string_view utf8) { return Iconv(utf8, "CP936", "UTF-8"); }
bool ReadsAsLegacy(std::string_view body) { return !IsUtf8(body) && FromLegacyText(body); }

// Writers take turns through an advisory lock on the file's folder. The file
// itself cannot carry the lock: each write replaces it by a new file, and a
// writer waiting on the old one would then hold a lock nobody else sees.
FileWriteLock::FileWriteLock(const std::filesystem::path& target)
{
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A folder the user may write and enter but not read (0733, 0300) cannot
    // be opened for the lock, yet the system lets the write itself succeed:
    // go ahead without the lock rather than refuse it. The rename still keeps
    // every write whole; at worst a key written at the same moment by another
    // program is lost. A lock file instead would stay behind in a folder that
    // others may write into (and plant it), and a writer that can read the
    // folder would not look at it anyway.
    if (fd < 0 && errno == EACCES) {
        withoutLock_ = true;
        return;
    }
    // Anyone who may read the folder can lock it, and a stopped program keeps
    // its lock: after a few seconds the write goes ahead without it, as above,
    // rather than hang the window for good.
    for (int waited = 0; fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0; ++waited) {
        const int error = errno;
        if (error == EINTR || (error == EWOULDBLOCK && waited < 300)) {
            ::usleep(10'000);
            continue;
        }
        ::close(fd);
        fd = -1;
        withoutLock_ = error == EWOULDBLOCK;
    }
    handle_ = fd;
}

FileWriteLock::~FileWriteLock()
{
    if (handle_ != -1)
        ::close(static_cast<int>(handle_)); // releases the lock
}

// Whether the system lets this process write the file itself. Replacing it
// through the folder would succeed for a read-only file too, so ask first.
bool Writable(const std::filesystem::path& file)
{
    return ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0;
}

// Writes the content to a new file beside `target`, flushes it to disk and
// renames it over `target`.
bool ReplaceFileContent(const std::filesystem::path& target, const std::string& content)
{
    struct stat old {};
    const bool hadOld = ::stat(target.c_str(), &old) == 0;
    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = TemporaryNameBeside(target);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    hadOld ? (old.st_mode & 07777) : 0644);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    if (hadOld) {
        // The file stays its owner's when root rewrites it. A writer without
        // the privilege gets EPERM, which is ignored: it usually rewrites its
        // own file, and otherwise cannot do better. Owner before mode, as a
        // change of owner clears the set-id bits.
        (void)::fchown(fd, old.st_uid, old.st_gid);
        (void)::fchmod(fd, old.st_mode & 07777); // umask must not narrow the user's permissions
    }
    size_t done = 0;
    bool ok = true;
    while (ok && done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok)
        (void)::unlink(temp.c_str());
    return ok;
}

} // namespace zarvex::platform
