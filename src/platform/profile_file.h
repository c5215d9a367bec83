// What a profile (INI) file needs from the system, as plain functions: its
// legacy code page, taking turns with other writers, and replacing it whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zarvex::platform {

// The legacy code page of profile files: the ANSI code page on Windows, as the
// platform's own profile functions use it; elsewhere GBK (code page 936), the
// encoding of a file copied from a Chinese Windows.
// Legacy text as UTF-8; none when it is not valid in the code page.
std::optional<std::string> FromLegacyText(std::string_view stored);
// UTF-8 as legacy text; none when a character has no place in the code page
// (on Windows it becomes "?", as the platform's writer stores it).
std::optional<std::string> ToLegacyText(std::string_view utf8);
// Whether a file without a byte-order mark holds legacy text: always on
// Windows, as the platform reads it; elsewhere when it is not UTF-8 and reads
// as GBK.
bool ReadsAsLegacy(std::string_view body);

// Writers of one file take turns: the lock is taken by construction and given
// back by the destructor. The file itself cannot carry it, as every write
// replaces the file. MayWrite() says whether the write may go ahead: the lock
// is held, or the system gives this writer no way to take it while it would
// let the write itself succeed, or another writer has held it for seconds
// (then the write goes ahead without it).
class FileWriteLock {
public:
    explicit FileWriteLock(const std::filesystem::path& target);
    ~FileWriteLock();
    FileWriteLock(const FileWriteLock&) = delete;
    FileWriteLock& operator=(const FileWriteLock&) = delete;
    bool MayWrite() const { return handle_ != -1 || withoutLock_; }

private:
    intptr_t handle_ = -1; // a file descriptor or a Windows handle
    bool withoutLock_ = false;
};

// Whether the system lets this process write the file itself (replacing it
// through its folder would succeed for a read-only file too).
bool Writable(const std::filesystem::path& file);

// Writes the content to a new file beside `target`, created exclusively under
// a name nobody can predict (so a link planted in the folder is never
// followed), flushes it to disk and renames it over `target`.
bool ReplaceFileContent(const std::filesystem::path& target, const std::string& content);

// A name beside `target` that nobody can predict, for the new file.
std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target);

} // namespace zarvex::platform
