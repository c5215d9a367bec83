#include "notify/service_requests.h"

#include "notify/services.h"

namespace zarvex::notify {

HttpResponse PostEmpty(const std::string& url)
{
    return HttpExchange(url, "");
}

void UpdateCheck::Start(const std::string& url, std::function<void(const std::string&)> show)
{
    if (busy_)
        return;
    busy_ = true;
    runner_.Run([this, exchange = exchange_, url, show = std::move(show)]() -> BackgroundRunner::Delivery {
        const std::optional<std::string> message = UpdateMessage(exchange(url));
        return [this, message, show] {
            // Still busy while the message is up, so no second check starts.
            if (message)
                show(*message);
            busy_ = false;
        };
    });
}

bool Delivered(const HttpResponse& answer)
{
    return answer.completed && answer.status >= 200 && answer.status <= 299;
}

std::string FailureLine(const HttpResponse& answer)
{
    const std::string head = "提醒邮件未能发出：";
    if (answer.completed) {
        const std::string status = "（" + std::to_string(answer.status) + "）";
        return head + (answer.status >= 400 && answer.status <= 499 ? "服务拒绝了请求" : "服务出错") + status;
    }
    if (answer.failure == HttpFailure::CouldNotConnect)
        return head + "连不上提醒服务";
    return head + "服务无响应";
}

void NotificationSender::Send(int point, const std::string& url)
{
    if (!underWay_.insert(point).second)
        return;
    Attempt(point, url, 0);
}

void NotificationSender::Attempt(int point, const std::string& url, size_t retriesDone)
{
    runner_.Run([this, exchange = exchange_, point, url, retriesDone]() -> BackgroundRunner::Delivery {
        HttpResponse answer = exchange(url);
        return [this, point, url, retriesDone, answer = std::move(answer)] {
            Finished(point, url, retriesDone, answer);
        };
    });
}

void NotificationSender::Finished(int point, const std::string& url, size_t retriesDone, const HttpResponse& answer)
{
    if (!Delivered(answer) && retriesDone < delays_.size()) {
        runner_.After(delays_[retriesDone], [this, point, url, retriesDone] { Attempt(point, url, retriesDone + 1); });
        return;
    }
    underWay_.erase(point);
    if (!Delivered(answer))
        showFailure_(FailureLine(answer));
}

} // namespace zarvex::notify
