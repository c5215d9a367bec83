#include "config/ini_file.h"

#include "platform/system_text.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
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
    std::string_view ending; // "\n", "\r\n" or "" for a last line without one
};

std::vector<Line> SplitLines(std::string_view content)
{
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < content.size()) {
        const size_t nl = content.find('\n', pos);
        if (nl == std::string_view::npos) {
            lines.push_back({content.substr(pos), {}});
            break;
        }
        const bool cr = nl > pos && content[nl - 1] == '\r';
        lines.push_back({content.substr(pos, nl - pos - (cr ? 1 : 0)), content.substr(nl - (cr ? 1 : 0), cr ? 2 : 1)});
        pos = nl + 1;
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

// Writes the content to a new file beside `file`, flushes it to disk and
// renames it over `file`.
bool ReplaceFile(const std::filesystem::path& file, const std::string& content)
{
    std::filesystem::path temp = file;
    temp += ".new";
#ifndef _WIN32
    struct stat old {};
    const bool hadOld = ::stat(file.c_str(), &old) == 0;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, hadOld ? (old.st_mode & 07777) : 0644);
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
        ok = ::rename(temp.c_str(), file.c_str()) == 0;
    if (!ok)
        (void)::unlink(temp.c_str());
    return ok;
#else
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    if (ec)
        std::filesystem::remove(temp, ec);
    return !ec;
#endif
}

// The file holds text in the system's code page, as the platform's own
// profile functions write it. The program's text is UTF-8 throughout.
std::string ToFileText(std::string_view utf8) { return platform::ToSystemText(utf8); }
std::string FromFileText(std::string_view stored) { return platform::FromSystemText(stored); }

} // namespace

std::string ReadIniValue(const std::filesystem::path& file, std::string_view sectionText, std::string_view keyText)
{
    const std::string section = ToFileText(sectionText), key = ToFileText(keyText);
    bool missing = false;
    const auto content = ReadFile(file, missing);
    if (!content)
        return {};
    const std::vector<Line> lines = SplitLines(*content);
    const Location loc = Find(lines, section, key);
    if (!loc.key)
        return {};
    const std::string_view line = lines[*loc.key].text;
    std::string_view value = Trim(line.substr(line.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return FromFileText(value);
}

bool WriteIniValue(const std::filesystem::path& file, std::string_view sectionText, std::string_view keyText,
                   std::string_view valueText)
{
    const std::string section = ToFileText(sectionText), key = ToFileText(keyText), value = ToFileText(valueText);
    if (value.find_first_of("\r\n") != std::string_view::npos || key.find_first_of("\r\n=") != std::string_view::npos
        || section.find_first_of("\r\n]") != std::string_view::npos || Trim(key).empty())
        return false;
    bool missing = false;
    const auto content = ReadFile(file, missing);
    if (!content)
        return false; // never replace a file we could not read

    std::vector<Line> lines = SplitLines(*content);
    // New lines take the file's own line ending.
    const std::string_view eol = !lines.empty() && lines.front().ending == "\r\n" ? "\r\n" : "\n";
    const std::string keyLine = std::string(key) + "=" + std::string(value);
    const std::string header = "[" + std::string(section) + "]";
    const Location loc = Find(lines, section, key);

    std::string out;
    out.reserve(content->size() + keyLine.size() + header.size() + 8);
    auto append = [&](std::string_view text, std::string_view ending) {
        out.append(text);
        out.append(ending);
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const bool last = i + 1 == lines.size();
        if (loc.key && i == *loc.key) {
            append(keyLine, lines[i].ending.empty() ? std::string_view() : lines[i].ending);
            continue;
        }
        // A line without an ending gets one when something follows it.
        const bool more = !last || (loc.section && !loc.key && i == loc.lastInSection) || !loc.section;
        append(lines[i].text, lines[i].ending.empty() && more && !lines[i].text.empty() ? eol : lines[i].ending);
        if (loc.section && !loc.key && i == loc.lastInSection)
            append(keyLine, eol);
    }
    if (!loc.section) {
        if (!out.empty() && out.back() != '\n')
            out.append(eol);
        append(header, eol);
        append(keyLine, eol);
    }
    return ReplaceFile(file, out);
}

} // namespace zarvex::config
