// The update check and the notification request as the window sees them:
// both run in the background, so a silent service never freezes the window,
// and their outcome comes back on the window thread.
#pragma once

#include "notify/background_runner.h"
#include "notify/http_post.h"

#include <array>
#include <functional>
#include <set>
#include <string>

namespace zarvex::notify {

// A blocking exchange with a service (HttpExchange with an empty body); it
// runs away from the window thread, so it must be safe there.
using Exchange = std::function<HttpResponse(const std::string& url)>;
HttpResponse PostEmpty(const std::string& url);

// The update check: one at a time; `show` gets the message when the answer
// names another version (UpdateMessage).
class UpdateCheck {
public:
    UpdateCheck(BackgroundRunner& runner, Exchange exchange) : runner_(runner), exchange_(std::move(exchange)) {}
    // Nothing happens while an earlier check is still under way.
    void Start(const std::string& url, std::function<void(const std::string& message)> show);

private:
    BackgroundRunner& runner_;
    Exchange exchange_;
    bool busy_ = false;
};

// Waits before the first, second and third retry of a failed notification.
inline constexpr std::array<int, 3> kRetryDelaysMs = {10000, 30000, 90000};

// Whether the service took the notification: a whole answer with a 2xx status.
bool Delivered(const HttpResponse& answer);
// The line the window shows when a notification could not be delivered. It
// names the kind of failure, never the service's own text.
std::string FailureLine(const HttpResponse& answer);

// Notification requests: one chain of attempts per point (the first at once,
// then a retry after each delay while they fail); when the last one fails,
// `showFailure` gets the line to show. The point's marks do not wait for any
// of this.
class NotificationSender {
public:
    NotificationSender(BackgroundRunner& runner, Exchange exchange,
                       std::function<void(const std::string& line)> showFailure,
                       std::array<int, 3> retryDelaysMs = kRetryDelaysMs)
        : runner_(runner), exchange_(std::move(exchange)), showFailure_(std::move(showFailure)),
          delays_(retryDelaysMs)
    {
    }
    // Nothing happens while the point's earlier notification is under way.
    void Send(int point, const std::string& url);

private:
    void Attempt(int point, const std::string& url, size_t retriesDone);
    void Finished(int point, const std::string& url, size_t retriesDone, const HttpResponse& answer);

    BackgroundRunner& runner_;
    Exchange exchange_;
    std::function<void(const std::string&)> showFailure_;
    std::array<int, 3> delays_;
    std::set<int> underWay_;
};

} // namespace zarvex::notify
