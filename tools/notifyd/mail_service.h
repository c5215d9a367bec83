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
    int ratePerHour = 30;
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

enum class Verdict { Accepted, BadAddress, DomainRefused, RateLimited, QueueFailed };

class MailService {
public:
    explicit MailService(ServiceConfig config);
    ~MailService();
    MailService(const MailService&) = delete;
    MailService& operator=(const MailService&) = delete;

    // Checks and queues one mail; Accepted means it is on disk in the spool.
    Verdict Accept(const std::string& address);

    // Starts delivering in the background (mails already in the spool first).
    void Start();
    void Stop();

    const ServiceConfig& Config() const { return config_; }

    // The message that goes out, RFC 5322, CRLF line ends.
    std::string Compose(const std::string& address, std::chrono::system_clock::time_point received,
                        const std::string& messageId) const;

private:
    bool Allowed(const std::string& address) const;
    bool TakeRateSlot(const std::string& address);
    bool Deliver(const std::filesystem::path& spoolFile, std::string& error);
    void Run();

    ServiceConfig config_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool pending_ = false; // something arrived since the worker last looked
    std::thread worker_;
    std::map<std::string, std::deque<std::chrono::steady_clock::time_point>> recent_; // per address
    std::map<std::string, std::pair<int, std::chrono::steady_clock::time_point>> retry_; // spool name -> tries, next
    uint64_t sequence_ = 0;
};

} // namespace zarvex::notifyd
