// Profile files on Windows: a lock file beside the target, the read-only
// attribute, and a write-through replacing move.
#include "platform/profile_file.h"

#include <windows.h>

#include <algorithm>

namespace zarvex::platform {

// Writers take turns through a lock on a hidden file beside the target: the
// target itself is replaced by every write, so it cannot carry the lock, and
// a folder cannot be locked. The lock file stays; removing it would let a
// writer that opened it just before lock a file nobody else sees.
FileWriteLock::FileWriteLock(const std::filesystem::path& target)
{
    HANDLE h = CreateFileW((target.native() + L".lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_HIDDEN, nullptr);
    // A stopped program keeps its lock: after a few seconds the write goes
    // ahead without it rather than hang the window for good.
    for (int waited = 0; h != INVALID_HANDLE_VALUE; ++waited) {
        OVERLAPPED whole {};
        if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole))
            break;
        const DWORD error = GetLastError();
        if (error == ERROR_LOCK_VIOLATION && waited < 300) {
            Sleep(10);
            continue;
        }
        CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
        withoutLock_ = error == ERROR_LOCK_VIOLATION;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
}

FileWriteLock::~FileWriteLock()
{
    if (handle_ != -1)
        CloseHandle(reinterpret_cast<HANDLE>(handle_)); // releases the lock
}

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

bool ReplaceFileContent(const std::filesystem::path& target, const std::string& content)
{
    std::filesystem::path temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; h == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        temp = TemporaryNameBeside(target);
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

} // namespace zarvex::platform
