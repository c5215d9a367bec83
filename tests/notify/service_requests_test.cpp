// The update check and the notification retries over a fake runner that does
// each step when the test says, so no real second is waited for.
#include "notify/service_requests.h"

#include <gtest/gtest.h>

using namespace zarvex::notify;

namespace {

struct FakeRunner : BackgroundRunner {
    std::vector<std::function<Delivery()>> work;
    std::vector<int> waits;     // the delays asked for
    std::function<void()> due; // what the last delay holds back
    void Run(std::function<Delivery()> w) override { work.push_back(std::move(w)); }
    void After(int ms, std::function<void()> then) override
    {
        waits.push_back(ms);
        due = std::move(then);
    }
    // Does the queued work, then delivers its outcomes.
    void Finish()
    {
        auto queued = std::move(work);
        work.clear();
        for (auto& w : queued)
            w()();
    }
};

HttpResponse Answer(long status, std::string body = {})
{
    return {true, HttpFailure::None, status, std::move(body)};
}

} // namespace

TEST(NotificationSender, RetriesAtTheDelaysThenShowsOneLine)
{
    const HttpResponse refused{false, HttpFailure::CouldNotConnect, 0, ""}, silent{false, HttpFailure::NoAnswer, 0, ""},
        error = Answer(500, "<html>Traceback: secret</html>");
    struct Case {
        std::vector<HttpResponse> answers;
        std::string line; // shown at the end; empty: none
    };
    const Case cases[] = {
        {{refused, refused, refused, refused}, "提醒邮件未能发出：连不上提醒服务"},
        {{silent, silent, silent, silent}, "提醒邮件未能发出：服务无响应"},
        {{error, error, silent, error}, "提醒邮件未能发出：服务出错（500）"},
        {{silent, silent, silent, Answer(429, "rate")}, "提醒邮件未能发出：服务拒绝了请求（429）"},
        {{Answer(404), silent, Answer(200, "OK")}, ""},
        {{Answer(202)}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        FakeRunner runner;
        size_t asked = 0;
        std::vector<std::string> lines;
        NotificationSender sender(
            runner, [&](const std::string& url) {
                EXPECT_EQ(url, "http://h/mail");
                return c.answers.at(asked++);
            },
            [&](const std::string& line) { lines.push_back(line); });
        sender.Send(7, "http://h/mail");
        sender.Send(7, "http://h/mail"); // the same point again while under way
        EXPECT_EQ(runner.work.size(), 1u);
        EXPECT_EQ(asked, 0u) << "nothing is asked on the window thread";
        while (!runner.work.empty()) {
            runner.Finish();
            if (runner.due) {
                EXPECT_TRUE(lines.empty()) << "no line while retries remain";
                std::exchange(runner.due, nullptr)();
            }
        }
        EXPECT_EQ(asked, c.answers.size());
        EXPECT_EQ(runner.waits, std::vector<int>(kRetryDelaysMs.begin(), kRetryDelaysMs.begin() + (asked - 1)));
        EXPECT_EQ(lines, c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line});
    }
}

TEST(UpdateCheck, OneAtATimeAndTheMessageWhenTheAnswerComes)
{
    FakeRunner runner;
    int asked = 0;
    UpdateCheck check(runner, [&](const std::string&) {
        ++asked;
        return Answer(200, "4.0.2");
    });
    std::vector<std::string> shown;
    auto show = [&](const std::string& m) { shown.push_back(m); };
    check.Start("http://h/vers", show);
    check.Start("http://h/vers", show);
    EXPECT_EQ(runner.work.size(), 1u) << "a second check waits for the first";
    EXPECT_TRUE(shown.empty());
    runner.Finish();
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("4.0.2"), std::string::npos);
    check.Start("http://h/vers", show);
    EXPECT_EQ(runner.work.size(), 1u) << "the next may start once the first is done";
}
