#include "support/http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace zarvex::test {

HttpTestServer::HttpTestServer()
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listener_, 16);
    socklen_t len = sizeof addr;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

HttpTestServer::~HttpTestServer()
{
    stop_ = true;
    thread_.join();
    for (int fd : held_)
        ::close(fd);
    ::close(listener_);
}

void HttpTestServer::Set(Behaviour behaviour, int status, std::string body)
{
    std::lock_guard lock(mutex_);
    behaviour_ = behaviour;
    status_ = status;
    body_ = std::move(body);
}

std::vector<std::string> HttpTestServer::Requests()
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void HttpTestServer::Serve()
{
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        // Read the head, then as many body bytes as Content-Length says.
        std::string request;
        char buffer[4096];
        size_t headEnd = std::string::npos, want = 0;
        while (true) {
            pollfd c{fd, POLLIN, 0};
            if (::poll(&c, 1, 2000) <= 0)
                break;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<size_t>(n));
            if (headEnd == std::string::npos && (headEnd = request.find("\r\n\r\n")) != std::string::npos) {
                const size_t cl = request.find("Content-Length: ");
                want = cl == std::string::npos ? 0 : std::stoul(request.substr(cl + 16));
            }
            if (headEnd != std::string::npos && request.size() >= headEnd + 4 + want)
                break;
        }
        Behaviour behaviour;
        int status;
        std::string body;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            behaviour = behaviour_;
            status = status_;
            body = body_;
        }
        if (behaviour == Behaviour::NeverAnswer) {
            held_.push_back(fd);
            continue;
        }
        std::string out = body;
        if (behaviour == Behaviour::Answer)
            out = "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: text/html\r\n" + "Content-Length: "
                + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        size_t sent = 0;
        while (sent < out.size()) {
            const ssize_t n = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break; // the client went away (it stops reading after enough)
            sent += static_cast<size_t>(n);
        }
        ::close(fd);
    }
}

} // namespace zarvex::test
