#include "config/ini_file.h"

#include "platform/profile_file.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

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

FileText Decode(std::string raw)
{
    FileText f;
    f.bom = raw.compare(0, kBom.size(), kBom) == 0;
    f.body = f.bom ? raw.substr(kBom.size()) : std::move(raw);
    f.encoding = !f.bom && platform::ReadsAsLegacy(f.body) ? Encoding::Legacy : Encoding::Utf8;
    return f;
}

std::optional<std::string> ToFileText(std::string_view utf8, Encoding encoding)
{
    return encoding == Encoding::Utf8 ? std::optional<std::string>(utf8) : platform::ToLegacyText(utf8);
}

std::string FromFileText(std::string_view stored, Encoding encoding)
{
    if (encoding == Encoding::Legacy)
        if (auto text = platform::FromLegacyText(stored))
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
    const platform::FileWriteLock lock(*target);
    if (!lock.MayWrite())
        return false;
    // Everything from here to the rename happens under the lock, so a write
    // made meanwhile by another program is read and kept.
    bool missing = false;
    auto raw = ReadFile(*target, missing);
    if (!raw)
        return false; // never replace a file we could not read
    if (!missing && !platform::Writable(*target))
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
    return platform::ReplaceFileContent(*target, out);
}

} // namespace zarvex::config
