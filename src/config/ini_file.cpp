#include "config/ini_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zarvex::config {

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

struct Line {
    std::string_view text;   // without its line ending
    std::string_view ending; // "\n", "\r\n", "\r" (old Mac files) or "" for a last line without one
};

std::vector<Line> SplitLines(std::string_view content)
{
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < content.size()) {
        const size_t end = content.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            lines.push_back({content.substr(pos), {}});
            break;
        }
        const size_t endingSize = content.compare(end, 2, "\r\n") == 0 ? 2 : 1;
        lines.push_back({content.substr(pos, end - pos), content.substr(end, endingSize)});
        pos = end + endingSize;
    }
    return lines;
}

// "[name]" -> name; none for any other line.
std::optional<std::string_view> SectionName(std::string_view line)
{
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[')
        return std::nullopt;
    const size_t close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

// "key=value" -> key; none for lines without "=".
std::optional<std::string_view> KeyName(std::string_view line)
{
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return Trim(line.substr(0, eq));
}

struct Location {
    std::optional<size_t> section; // index of the header line
    std::optional<size_t> key;     // index of the key's line
    size_t lastInSection = 0;      // last non-blank line of the section (header included)
};

Location Find(const std::vector<Line>& lines, std::string_view section, std::string_view key)
{
    Location loc;
    bool inside = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (const auto name = SectionName(lines[i].text)) {
            if (loc.section && inside)
                break; // the first matching section is the one used
            inside = SameName(*name, section);
            if (inside) {
                loc.section = i;
                loc.lastInSection = i;
            }
            continue;
        }
        if (!inside)
            continue;
        if (!Trim(lines[i].text).empty())
            loc.lastInSection = i;
        const auto k = KeyName(lines[i].text);
        if (k && !loc.key && SameName(*k, key))
            loc.key = i;
    }
    return loc;
}

std::optional<std::string> ReadFile(const std::filesystem::path& file, bool& missing)
{
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    missing = status.type() == std::filesystem::file_type::not_found;
    if (missing)
        return std::string();
    if (ec || status.type() != std::filesystem::file_type::regular)
        return std::nullopt;
    try {
        std::ifstream in(file, std::ios::binary);
        if (!in)
            return std::nullopt;
        std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad())
            return std::nullopt;
        return content;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// ---- Text encoding ---------------------------------------------------------
//
// The program's text is UTF-8 throughout. The file is either UTF-8 (with or
// without the byte-order mark Notepad writes) or in the legacy code page a
// Windows profile file has: the ANSI code page on Windows, as the platform's
// own profile functions use it; on other systems GBK (code page 936), the
// encoding of a file copied from a Chinese Windows. A write keeps the file in
// the encoding it had.

constexpr std::string_view kBom = "\xEF\xBB\xBF";

enum class Encoding { Utf8, Legacy };

struct FileText {
    std::string body; // the bytes after the byte-order mark
    bool bom = false;
    Encoding encoding = Encoding::Utf8;
};

#ifdef _WIN32
std::string Convert(std::string_view text, UINT from, UINT to)
{
    if (text.empty())
        return {};
    const int wide = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(std::max(wide, 0)), L'\0');
    MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), w.data(), wide);
    const int n = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
    WideCharToMultiByte(to, 0, w.data(), wide, out.data(), n, nullptr, nullptr);
    return out;
}
std::optional<std::string> FromLegacy(std::string_view stored) { return Convert(stored, CP_ACP, CP_UTF8); }
// Characters the code page lacks become "?", as the platform's writer stores them.
std::optional<std::string> ToLegacy(std::string_view utf8) { return Convert(utf8, CP_UTF8, CP_ACP); }
#else
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
std::optional<std::string> FromLegacy(std::string_view stored) { return Iconv(stored, "UTF-8", "CP936"); }
std::optional<std::string> ToLegacy(std::string_view utf8) { return Iconv(utf8, "CP936", "UTF-8"); }

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
#endif

FileText Decode(std::string raw)
{
    FileText f;
    f.bom = raw.compare(0, kBom.size(), kBom) == 0;
    f.body = f.bom ? raw.substr(kBom.size()) : std::move(raw);
#ifdef _WIN32
    f.encoding = f.bom ? Encoding::Utf8 : Encoding::Legacy;
#else
    f.encoding = !f.bom && !IsUtf8(f.body) && FromLegacy(f.body) ? Encoding::Legacy : Encoding::Utf8;
#endif
    return f;
}

std::optional<std::string> ToFileText(std::string_view utf8, Encoding encoding)
{
    return encoding == Encoding::Utf8 ? std::optional<std::string>(utf8) : ToLegacy(utf8);
}

std::string FromFileText(std::string_view stored, Encoding encoding)
{
    if (encoding == Encoding::Legacy)
        if (auto text = FromLegacy(stored))
            return *text;
    return std::string(stored);
}

// ---- Replacing the file ----------------------------------------------------

// The file a write must change: `file` itself, or the end of its chain of
// symbolic links, so that a linked "config.ini" is updated where it lies and
// the link stays a link. None for a chain that loops or cannot be read.
std::optional<std::filesystem::path> WriteTarget(const std::filesystem::path& file)
{
    std::filesystem::path target = file;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec)))
            return target;
        const std::filesystem::path link = std::filesystem::read_symlink(target, ec);
        if (ec)
            return std::nullopt;
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return std::nullopt;
}

std::filesystem::path FolderOf(const std::filesystem::path& file)
{
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

// A name for the new file beside `target` that nobody can predict.
std::filesystem::path TemporaryName(const std::filesystem::path& target)
{
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::random_device random;
    std::string suffix = ".";
    for (int i = 0; i < 10; ++i)
        suffix += kDigits[random() % 36];
    return FolderOf(target) / (target.filename().native() + std::filesystem::path(suffix + ".tmp").native());
}

#ifndef _WIN32
// Writers take turns through an advisory lock on the file's folder. The file
// itself cannot carry the lock: each write replaces it by a new file, and a
// writer waiting on the old one would then hold a lock nobody else sees.
class WriteLock {
public:
    explicit WriteLock(const std::filesystem::path& folder)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
            }
        }
    }
    ~WriteLock()
    {
        if (fd_ >= 0)
            ::close(fd_); // releases the lock
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_;
};

// Whether the system lets this process write the file itself. Replacing it
// through the folder would succeed for a read-only file too, so ask first.
bool Writable(const std::filesystem::path& file)
{
    return ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0;
}

// Writes the content to a new file beside `target`, flushes it to disk and
// renames it over `target`. The new file is created exclusively under a fresh
// name, so a link planted in the folder is never followed.
bool ReplaceFile(const std::filesystem::path& target, const std::string& content)
{
    struct stat old {};
    const bool hadOld = ::stat(target.c_str(), &old) == 0;
    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = TemporaryName(target);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    hadOld ? (old.st_mode & 07777) : 0644);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    if (hadOld)
        (void)::fchmod(fd, old.st_mode & 07777); // umask must not narrow the user's permissions
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
#else
// Writers take turns through a lock on a hidden file beside the target: the
// target itself is replaced by every write, so it cannot carry the lock, and
// a folder cannot be locked. The lock file stays; removing it would let a
// writer that opened it just before lock a file nobody else sees.
class WriteLock {
public:
    explicit WriteLock(const std::filesystem::path& target)
        : handle_(CreateFileW((target.native() + L".lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN, nullptr))
    {
        OVERLAPPED whole {};
        if (handle_ != INVALID_HANDLE_VALUE && !LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
            CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
    }
    ~WriteLock()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_); // releases the lock
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// Whether the system lets this process open the file itself for writing: the
// read-only attribute (asked for itself, as Wine run by root lets such a file
// be opened) and the file's access rights both count.
bool Writable(const std::filesystem::path& file)
{
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    const HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

bool ReplaceFile(const std::filesystem::path& target, const std::string& content)
{
    std::filesystem::path temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; h == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        temp = TemporaryName(target);
        // CREATE_NEW fails on any existing name, a link included.
        h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    if (h == INVALID_HANDLE_VALUE)
        return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < content.size()) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 20));
        ok = WriteFile(h, content.data() + done, chunk, &n, nullptr) && n > 0;
        done += n;
    }
    ok = ok && FlushFileBuffers(h);
    ok = CloseHandle(h) && ok;
    if (ok)
        ok = MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok)
        DeleteFileW(temp.c_str());
    return ok;
}
#endif

} // namespace

std::string ReadIniValue(const std::filesystem::path& file, std::string_view sectionText, std::string_view keyText)
{
    bool missing = false;
    auto raw = ReadFile(file, missing);
    if (!raw)
        return {};
    const FileText text = Decode(std::move(*raw));
    const auto section = ToFileText(sectionText, text.encoding), key = ToFileText(keyText, text.encoding);
    if (!section || !key)
        return {};
    const std::vector<Line> lines = SplitLines(text.body);
    const Location loc = Find(lines, *section, *key);
    if (!loc.key)
        return {};
    const std::string_view line = lines[*loc.key].text;
    std::string_view value = Trim(line.substr(line.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return FromFileText(value, text.encoding);
}

bool WriteIniValue(const std::filesystem::path& file, std::string_view sectionText, std::string_view keyText,
                   std::string_view valueText)
{
    if (valueText.find_first_of("\r\n") != std::string_view::npos
        || keyText.find_first_of("\r\n=") != std::string_view::npos
        || sectionText.find_first_of("\r\n]") != std::string_view::npos || Trim(keyText).empty())
        return false;
    const auto target = WriteTarget(file);
    if (!target)
        return false;
#ifdef _WIN32
    const WriteLock lock(*target);
#else
    const WriteLock lock(FolderOf(*target));
#endif
    if (!lock.Held())
        return false;
    // Everything from here to the rename happens under the lock, so a write
    // made meanwhile by another program is read and kept.
    bool missing = false;
    auto raw = ReadFile(*target, missing);
    if (!raw)
        return false; // never replace a file we could not read
    if (!missing && !Writable(*target))
        return false; // a read-only file stays as it is, as the platform's writer would leave it
    const FileText text = Decode(std::move(*raw));
    const auto section = ToFileText(sectionText, text.encoding), key = ToFileText(keyText, text.encoding),
               value = ToFileText(valueText, text.encoding);
    if (!section || !key || !value)
        return false; // a character the file's encoding cannot hold

    const std::vector<Line> lines = SplitLines(text.body);
    // New lines take the file's own line ending.
    const std::string_view eol = !lines.empty() && !lines.front().ending.empty() ? lines.front().ending : "\n";
    const std::string keyLine = *key + "=" + *value;
    const std::string header = "[" + *section + "]";
    const Location loc = Find(lines, *section, *key);

    std::string out(text.bom ? kBom : std::string_view());
    out.reserve(text.body.size() + keyLine.size() + header.size() + 8);
    auto append = [&](std::string_view t, std::string_view ending) {
        out.append(t);
        out.append(ending);
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const bool last = i + 1 == lines.size();
        if (loc.key && i == *loc.key) {
            append(keyLine, lines[i].ending);
            continue;
        }
        // A line without an ending gets one when something follows it.
        const bool more = !last || (loc.section && !loc.key && i == loc.lastInSection) || !loc.section;
        append(lines[i].text, lines[i].ending.empty() && more && !lines[i].text.empty() ? eol : lines[i].ending);
        if (loc.section && !loc.key && i == loc.lastInSection)
            append(keyLine, eol);
    }
    if (!loc.section) {
        if (out.size() > (text.bom ? kBom.size() : 0) && out.back() != '\n' && out.back() != '\r')
            out.append(eol);
        append(header, eol);
        append(keyLine, eol);
    }
    return ReplaceFile(*target, out);
}

} // namespace zarvex::config
