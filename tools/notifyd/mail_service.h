// The notification service's core, apart from HTTP: which addresses may be
// mailed, how often, the durable queue of accepted mails, and their delivery
// by SMTP or into a local outbox folder.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace zarvex::notifyd {

struct ServiceConfig {
    std::string listenHost = "127.0.0.1";
    int listenPort = 8080;
    std::string latestVersion = "4.0.1";
    std::filesystem::path spool = "notifyd-spool";
    std::filesystem::path outbox = "notifyd-outbox";
    std::string relay; // smtp://host:port or smtps://host:port; empty: outbox mode
    std::string relayUser, relayPassword;
    std::string from = "zarvex-notifyd@localhost";
    std::vector<std::string> allowedDomains = {"163.com"};
    std::set<std::string> allowedAddresses; // lower case
    int ratePerHour = 30;          // per mailbox (without "+tag", any case)
    int ratePerClientPerHour = 60; // per client IP address
    int rateOverallPerHour = 300;  // the whole service
    // HTTP limits: a request must arrive whole within requestSeconds; open
    // connections overall and per client address are capped.
    int requestSeconds = 5;
    int maxConnections = 512;
    int maxConnectionsPerClient = 32;
    int retryInitialSeconds = 5;
    int retryMaxSeconds = 300;
};

// Reads section "notifyd" of the file; missing keys keep their defaults,
// relative folders are taken beside the file. Throws std::invalid_argument
// naming the key for a value that makes no sense.
ServiceConfig LoadConfig(const std::filesystem::path& file);

// "ADDRESS" from the raw request target "/quorel401/mail.asp?usermail=ADDRESS":
// everything after "usermail=" (the program appends the address as typed, "&"
// included), percent-escapes decoded, "+" kept. None when malformed.
std::optional<std::string> AddressFromTarget(const std::string& target);

enum class Verdict { Accepted, BadAddress, RateLimited, QueueFailed };

// Seconds to wait before try number tries + 1: initial doubled per failed
// try, never more than max (and never overflowing on the way).
int RetryDelay(int tries, int initialSeconds, int maxSeconds);

class MailService {
public:
    using Times = std::deque<std::chrono::steady_clock::time_point>;

    // Makes the spool (with spool/bad/) and outbox folders and removes
    // leftovers of interrupted writes; throws std::runtime_error with a
    // message for the operator when a folder cannot be used.
    explicit MailService(ServiceConfig config);
    ~MailService();
    MailService(const MailService&) = delete;
    MailService& operator=(const MailService&) = delete;

    // Checks and queues one mail for a request from client (its IP address);
    // Accepted means it is on disk in the spool. Only accepted mails count
    // against the hourly limits.
    Verdict Accept(const std::string& address, const std::string& client);

    // Starts delivering in the background (mails already in the spool first).
    void Start();
    void Stop();

    const ServiceConfig& Config() const { return config_; }

    // The message that goes out, RFC 5322, CRLF line ends.
    std::string Compose(const std::string& address, std::chrono::system_clock::time_point received,
                        const std::string& messageId) const;

private:
    bool Allowed(const std::string& address) const;
    bool TakeRateSlots(const std::string& mailbox, const std::string& client,
                       std::chrono::steady_clock::time_point now);
    void GiveBackRateSlots(const std::string& mailbox, const std::string& client,
                           std::chrono::steady_clock::time_point taken);
    void TrimRateTables(std::chrono::steady_clock::time_point now);
    bool Deliver(const std::filesystem::path& spoolFile, std::string& error);
    void SetAside(const std::filesystem::path& spoolFile, const std::string& why);
    void Run();

    ServiceConfig config_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool pending_ = false; // something arrived since the worker last looked
    std::thread worker_;
    // Times of the mails accepted within the last hour; keys with no such
    // time are dropped, so the tables never hold more than the limits allow.
    std::map<std::string, Times> perMailbox_, perClient_;
    Times overall_;
    std::chrono::steady_clock::time_point lastTrim_{};
    std::map<std::string, std::pair<int, std::chrono::steady_clock::time_point>> retry_; // spool name -> tries, next
    uint64_t sequence_ = 0;
};

} // namespace zarvex::notifyd
