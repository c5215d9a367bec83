#include "support/http_test_server.h"
#include "support/test_helpers.h"

namespace zarvex::test {

HttpTestServer::HttpTestServer()
{
    std::tie(listener_, port_) = Listen();
    Set(Behaviour::Answer);
    thread_ = std::thread([this] { Serve(); });
}

HttpTestServer::~HttpTestServer()
{
    ::shutdown(listener_, SHUT_RDWR); // ends the accept in Serve
    thread_.join();
    for (int fd : held_)
        ::close(fd);
    ::close(listener_);
}

void HttpTestServer::Set(Behaviour behaviour, int status, std::string body)
{
    std::lock_guard lock(mutex_);
    behaviour_ = behaviour;
    response_ = behaviour != Behaviour::Answer ? std::move(body)
        : "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: text/html\r\nContent-Length: "
            + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::vector<std::string> HttpTestServer::Requests()
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void HttpTestServer::Serve()
{
    for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
        // The head, then as many body bytes as Content-Length says, unless
        // the client falls silent for 2 s.
        const timeval timeout{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        std::string request;
        auto whole = [&] {
            const size_t end = request.find("\r\n\r\n"), length = request.find("Content-Length: ");
            return end != std::string::npos
                && request.size() >= end + 4 + (length < end ? std::stoul(request.substr(length + 16)) : 0);
        };
        char buffer[4096];
        for (ssize_t n; !whole() && (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            request.append(buffer, static_cast<size_t>(n));
        std::unique_lock lock(mutex_);
        requests_.push_back(request);
        if (behaviour_ == Behaviour::NeverAnswer) {
            held_.push_back(fd);
            continue;
        }
        const std::string out = response_;
        lock.unlock();
        // Blocks until all is sent, or fails when the client went away (it
        // stops reading after enough).
        ::send(fd, out.data(), out.size(), MSG_NOSIGNAL);
        ::close(fd);
    }
}

} // namespace zarvex::test
