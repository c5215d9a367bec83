// Small helpers shared by the tests.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <utility>

namespace zarvex::test {

// A socket listening on 127.0.0.1 at a port the system chose, and the port.
inline std::pair<int, int> Listen()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd, 16);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    return {fd, ntohs(addr.sin_port)};
}

// A TCP port on 127.0.0.1 that nobody listens on (free when asked).
inline int FreePort()
{
    const auto [fd, port] = Listen();
    ::close(fd);
    return port;
}

// A connection to 127.0.0.1:`port` from a loopback address of our choice
// (each is a client address of its own), whose reads time out after 5 s; -1
// when nobody accepts it.
inline int Connect(int port, const char* from = "127.0.0.1")
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &addr.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        return fd;
    ::close(fd);
    return -1;
}

// Whether something on 127.0.0.1 accepts connections on `port`.
inline bool Accepts(int port)
{
    const int fd = Connect(port);
    return fd >= 0 && ::close(fd) == 0;
}

// The whole file as bytes; empty when it cannot be read.
inline std::string Slurp(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Looks every 50 ms until `done` holds or `limit` is over; whether it held.
inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    for (const auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(std::chrono::milliseconds(50)))
        if (done())
            return true;
    return done();
}

// Runs `act` as a user whom permission bits bind and returns its result. Root
// ignores them, so as root it runs in a child process that has become nobody
// (given `folder` first, when named).
inline bool AsUnprivileged(const std::function<bool()>& act, const std::filesystem::path& folder = {})
{
    if (::geteuid() != 0)
        return act();
    constexpr uid_t kNobody = 65534;
    if (!folder.empty())
        EXPECT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(2);
        ::_exit(act() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 2) << "could not give up root";
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

} // namespace zarvex::test
