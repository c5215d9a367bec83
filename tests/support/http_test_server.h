// A small HTTP server on 127.0.0.1 for tests: records each raw request and
// answers in the way the test asks, including not at all or with raw bytes
// (a cut-off head, say) that no HTTP server library would send.
#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zarvex::test {

class HttpTestServer {
public:
    // Raw: the body given to Set is sent as the whole response, as it is.
    enum class Behaviour { Answer, NeverAnswer, Raw };

    HttpTestServer();
    ~HttpTestServer(); // (not copyable: it holds a thread and a mutex)

    int Port() const { return port_; }
    void Set(Behaviour behaviour, int status = 200, std::string body = {});
    // Raw requests received so far (request line, headers and body).
    std::vector<std::string> Requests();

private:
    void Serve();

    int listener_ = -1, port_ = 0;
    std::mutex mutex_;
    Behaviour behaviour_ = Behaviour::Answer;
    std::string response_; // what each request is answered with
    std::vector<std::string> requests_;
    std::vector<int> held_; // connections kept open without an answer
    std::thread thread_;
};

} // namespace zarvex::test
