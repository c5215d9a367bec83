// One HttpExchange of the Windows build, for the test that runs it under Wine
// against a server on the Linux side:
//   http_exchange_check URL RESULT_FILE [TOTAL_TIMEOUT_MS]
// RESULT_FILE gets "completed status milliseconds failure" on its first line
// (failure: 0 none, 1 could not connect, 2 no answer), then the body as received.
#include "notify/http_post.h"

#include <chrono>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    zarvex::notify::HttpOptions options;
    if (argc > 3)
        options.totalTimeoutMs = std::stol(argv[3]);
    const auto start = std::chrono::steady_clock::now();
    const zarvex::notify::HttpResponse r = zarvex::notify::HttpExchange(argv[1], "", options);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::ofstream out(argv[2], std::ios::binary);
    out << (r.completed ? 1 : 0) << ' ' << r.status << ' ' << ms.count() << ' ' << static_cast<int>(r.failure) << '\n'
        << r.body;
    return out ? 0 : 1;
}
