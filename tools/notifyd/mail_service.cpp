#include "mail_service.h"

#include "config/ini_file.h"
#include "config/number_text.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace zarvex::notifyd {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSection = "notifyd";

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::vector<std::string> SplitList(const std::string& text)
{
    std::vector<std::string> out;
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, ',')) {
        item.erase(0, item.find_first_not_of(" \t"));
        item.erase(item.find_last_not_of(" \t") + 1);
        if (!item.empty())
            out.push_back(Lower(item));
    }
    return out;
}

int Number(const fs::path& file, const char* key, int fallback, int min, int max)
{
    const std::string text = config::ReadIniValue(file, kSection, key);
    if (text.empty())
        return fallback;
    const auto v = config::ParseWholeNumber(text, min, max);
    if (!v)
        throw std::invalid_argument(std::string("notifyd: \"") + key + "\" must be a whole number from "
                                    + std::to_string(min) + " to " + std::to_string(max));
    return static_cast<int>(*v);
}

// Writes a file so that it is either there whole or not at all.
bool WriteDurably(const fs::path& path, const std::string& content)
{
    const fs::path temp = path.string() + ".part";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    // The directory entry itself must reach the disk too.
    if (ok) {
        const int dir = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return ok;
}

std::string Base64(const std::string& in)
{
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const uint32_t n = (uint32_t(uint8_t(in[i])) << 16) | (uint32_t(uint8_t(in[i + 1])) << 8) | uint8_t(in[i + 2]);
        out += table[n >> 18];
        out += table[(n >> 12) & 63];
        out += table[(n >> 6) & 63];
        out += table[n & 63];
    }
    if (i + 1 == in.size()) {
        const uint32_t n = uint32_t(uint8_t(in[i])) << 16;
        out += table[n >> 18];
        out += table[(n >> 12) & 63];
        out += "==";
    } else if (i + 2 == in.size()) {
        const uint32_t n = (uint32_t(uint8_t(in[i])) << 16) | (uint32_t(uint8_t(in[i + 1])) << 8);
        out += table[n >> 18];
        out += table[(n >> 12) & 63];
        out += table[(n >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string FormatTime(std::chrono::system_clock::time_point t, const char* format)
{
    const std::time_t tt = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
    ::localtime_r(&tt, &local);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, format, &local);
    return buffer;
}

struct Upload {
    const std::string* data;
    size_t offset = 0;
};

size_t ReadUpload(char* out, size_t size, size_t count, void* user)
{
    auto* u = static_cast<Upload*>(user);
    const size_t n = std::min(size * count, u->data->size() - u->offset);
    std::copy_n(u->data->data() + u->offset, n, out);
    u->offset += n;
    return n;
}

} // namespace

ServiceConfig LoadConfig(const fs::path& file)
{
    ServiceConfig c;
    const fs::path base = file.has_parent_path() ? file.parent_path() : fs::path(".");
    const std::string listen = config::ReadIniValue(file, kSection, "listen");
    if (!listen.empty()) {
        const size_t colon = listen.rfind(':');
        if (colon == std::string::npos)
            throw std::invalid_argument("notifyd: \"listen\" must be host:port");
        c.listenHost = listen.substr(0, colon);
        const auto port = config::ParseWholeNumber(listen.substr(colon + 1), 0, 65535);
        if (!port)
            throw std::invalid_argument("notifyd: \"listen\" has no valid port");
        c.listenPort = static_cast<int>(*port);
    }
    auto text = [&](const char* key, std::string& target) {
        const std::string v = config::ReadIniValue(file, kSection, key);
        if (!v.empty())
            target = v;
    };
    text("version", c.latestVersion);
    text("relay", c.relay);
    text("relay_user", c.relayUser);
    text("relay_password", c.relayPassword);
    text("from", c.from);
    if (!c.relay.empty() && c.relay.rfind("smtp://", 0) != 0 && c.relay.rfind("smtps://", 0) != 0)
        throw std::invalid_argument("notifyd: \"relay\" must start with smtp:// or smtps://");
    const std::string spool = config::ReadIniValue(file, kSection, "spool");
    c.spool = base / (spool.empty() ? "notifyd-spool" : spool);
    const std::string outbox = config::ReadIniValue(file, kSection, "outbox");
    c.outbox = base / (outbox.empty() ? "notifyd-outbox" : outbox);
    const std::string domains = config::ReadIniValue(file, kSection, "allowed_domains");
    if (!domains.empty())
        c.allowedDomains = SplitList(domains);
    for (const auto& a : SplitList(config::ReadIniValue(file, kSection, "allowed_addresses")))
        c.allowedAddresses.insert(a);
    c.ratePerHour = Number(file, "rate_per_hour", c.ratePerHour, 0, 1000000);
    c.ratePerClientPerHour = Number(file, "rate_per_client_per_hour", c.ratePerClientPerHour, 0, 1000000);
    c.rateOverallPerHour = Number(file, "rate_overall_per_hour", c.rateOverallPerHour, 0, 1000000);
    c.requestSeconds = Number(file, "request_seconds", c.requestSeconds, 1, 3600);
    c.maxConnections = Number(file, "max_connections", c.maxConnections, 1, 100000);
    c.maxConnectionsPerClient = Number(file, "max_connections_per_client", c.maxConnectionsPerClient, 1, 100000);
    c.retryInitialSeconds = Number(file, "retry_initial_seconds", c.retryInitialSeconds, 1, 86400);
    c.retryMaxSeconds = Number(file, "retry_max_seconds", c.retryMaxSeconds, 1, 86400);
    return c;
}

std::optional<std::string> AddressFromTarget(const std::string& target)
{
    static const std::string kPrefix = "/quorel401/mail.asp?usermail=";
    if (target.rfind(kPrefix, 0) != 0)
        return std::nullopt;
    const std::string raw = target.substr(kPrefix.size());
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '%') {
            out += raw[i];
            continue;
        }
        if (i + 2 >= raw.size() || !std::isxdigit(static_cast<unsigned char>(raw[i + 1]))
            || !std::isxdigit(static_cast<unsigned char>(raw[i + 2])))
            return std::nullopt;
        out += static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return out;
}

int RetryDelay(int tries, int initialSeconds, int maxSeconds)
{
    int64_t delay = initialSeconds;
    for (int i = 1; i < tries && delay < maxSeconds; ++i)
        delay *= 2;
    return static_cast<int>(std::min<int64_t>(delay, maxSeconds));
}

MailService::MailService(ServiceConfig config) : config_(std::move(config))
{
    // A folder that cannot be made or written (or, the spool, listed: mails
    // would be taken and never sent) would lose every mail later; better to
    // refuse to start with a message that names it.
    auto usable = [](const fs::path& dir, const char* key) {
        const int needed = std::string_view(key) == "spool" ? R_OK | W_OK | X_OK : W_OK | X_OK;
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec || !fs::is_directory(dir) || ::access(dir.c_str(), needed) != 0)
            throw std::runtime_error(std::string("zarvex-notifyd: the ") + key + " folder " + dir.string()
                                     + " cannot be used (" + (ec ? ec.message() : "not a usable folder")
                                     + "); see \"" + key + "\" in the settings");
    };
    usable(config_.spool, "spool");
    usable(config_.spool / "bad", "spool");
    if (config_.relay.empty())
        usable(config_.outbox, "outbox");
    // A ".part" file is a write cut short by a crash: its mail was never
    // answered 200, so nobody waits for it. Fresh ones may belong to a second
    // instance still writing.
    const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(1);
    for (const fs::path& dir : {config_.spool, config_.outbox}) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec)) {
            std::error_code ignored;
            if (e.path().extension() == ".part" && e.last_write_time(ignored) < old && !ignored)
                fs::remove(e.path(), ignored);
        }
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

MailService::~MailService()
{
    Stop();
}

bool MailService::Allowed(const std::string& address) const
{
    // Only what no relay can read as a route or a second address: a local
    // part of letters, digits and ". _ - +" ("%" and "!" are relay syntax),
    // one "@", and a permitted domain or an address on the explicit list.
    const size_t at = address.find('@');
    if (address.size() > 254 || at == 0 || at == std::string::npos || address.find('@', at + 1) != std::string::npos)
        return false;
    for (size_t i = 0; i < at; ++i) {
        const unsigned char c = static_cast<unsigned char>(address[i]);
        if (!std::isalnum(c) || c >= 0x80) {
            if (c != '.' && c != '_' && c != '-' && c != '+')
                return false;
        }
    }
    const std::string lower = Lower(address);
    const std::string domain = lower.substr(at + 1);
    return config_.allowedAddresses.count(lower) != 0
           || std::find(config_.allowedDomains.begin(), config_.allowedDomains.end(), domain)
                  != config_.allowedDomains.end();
}

namespace {

// The mailbox an address reaches: without "+tag" and case, so variants of
// one mailbox share its limit.
std::string Mailbox(const std::string& address)
{
    const size_t at = address.find('@');
    return Lower(address.substr(0, std::min(at, address.find('+')))) + Lower(address.substr(at));
}

size_t Recent(MailService::Times& times, std::chrono::steady_clock::time_point now)
{
    while (!times.empty() && now - times.front() >= std::chrono::hours(1))
        times.pop_front();
    return times.size();
}

} // namespace

void MailService::TrimRateTables(std::chrono::steady_clock::time_point now)
{
    // Keys whose mails all lie an hour back are dropped; done at most once a
    // minute, so a flood of new keys costs no more than the limits allow.
    if (now - lastTrim_ < std::chrono::minutes(1))
        return;
    lastTrim_ = now;
    for (auto* table : {&perMailbox_, &perClient_}) {
        for (auto it = table->begin(); it != table->end();)
            it = Recent(it->second, now) == 0 ? table->erase(it) : std::next(it);
    }
}

bool MailService::TakeRateSlots(const std::string& mailbox, const std::string& client,
                                std::chrono::steady_clock::time_point now)
{
    TrimRateTables(now);
    Times& box = perMailbox_[mailbox];
    Times& from = perClient_[client];
    const bool free = Recent(overall_, now) < static_cast<size_t>(config_.rateOverallPerHour)
                      && Recent(box, now) < static_cast<size_t>(config_.ratePerHour)
                      && Recent(from, now) < static_cast<size_t>(config_.ratePerClientPerHour);
    if (!free) {
        if (box.empty())
            perMailbox_.erase(mailbox);
        if (from.empty())
            perClient_.erase(client);
        return false;
    }
    overall_.push_back(now);
    box.push_back(now);
    from.push_back(now);
    return true;
}

void MailService::GiveBackRateSlots(const std::string& mailbox, const std::string& client,
                                    std::chrono::steady_clock::time_point taken)
{
    auto giveBack = [&](Times& times) {
        const auto it = std::find(times.rbegin(), times.rend(), taken);
        if (it != times.rend())
            times.erase(std::next(it).base());
    };
    giveBack(overall_);
    for (auto [table, key] : {std::pair{&perMailbox_, &mailbox}, std::pair{&perClient_, &client}}) {
        const auto found = table->find(*key);
        if (found == table->end())
            continue;
        giveBack(found->second);
        if (found->second.empty())
            table->erase(found);
    }
}

Verdict MailService::Accept(const std::string& address, const std::string& client)
{
    if (!Allowed(address))
        return Verdict::BadAddress;
    const std::string mailbox = Mailbox(address);

    std::string name;
    const auto received = std::chrono::system_clock::now();
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        if (!TakeRateSlots(mailbox, client, now))
            return Verdict::RateLimited;
        const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(received.time_since_epoch()).count();
        name = std::to_string(nanos) + "-" + std::to_string(::getpid()) + "-" + std::to_string(++sequence_) + ".mail";
    }
    // On disk before the answer, without holding up other requests meanwhile.
    const std::string record = address + "\n" + std::to_string(std::chrono::system_clock::to_time_t(received)) + "\n";
    const bool written = WriteDurably(config_.spool / name, record);
    {
        std::lock_guard lock(mutex_);
        if (!written) {
            // A mail that was not taken must not use up the hour.
            GiveBackRateSlots(mailbox, client, now);
            return Verdict::QueueFailed;
        }
        pending_ = true;
    }
    wake_.notify_all();
    return Verdict::Accepted;
}

std::string MailService::Compose(const std::string& address, std::chrono::system_clock::time_point received,
                                 const std::string& messageId) const
{
    const std::string when = FormatTime(received, "%Y-%m-%d %H:%M:%S %z");
    const std::string body = "您好！\r\n\r\n您的 Zarvex 监控点发出了提醒：屏幕上被监控的位置出现了您设定的情况。\r\n"
                             "通知服务收到这次提醒的时间：" + when + "\r\n\r\n这封邮件由 zarvex-notifyd 自动发送，请勿回复。\r\n";
    std::string m;
    m += "From: Zarvex <" + config_.from + ">\r\n";
    m += "To: <" + address + ">\r\n";
    m += "Subject: =?UTF-8?B?" + Base64("Zarvex 监控提醒") + "?=\r\n";
    m += "Date: " + FormatTime(received, "%a, %d %b %Y %H:%M:%S %z") + "\r\n";
    m += "Message-ID: <" + messageId + "@zarvex-notifyd>\r\n";
    m += "MIME-Version: 1.0\r\n";
    m += "Content-Type: text/plain; charset=UTF-8\r\n";
    m += "Content-Transfer-Encoding: base64\r\n\r\n";
    const std::string encoded = Base64(body);
    for (size_t i = 0; i < encoded.size(); i += 76)
        m += encoded.substr(i, 76) + "\r\n";
    return m;
}

bool MailService::Deliver(const fs::path& spoolFile, std::string& error)
{
    std::ifstream in(spoolFile);
    std::string address, seconds;
    std::getline(in, address);
    std::getline(in, seconds);
    const auto when = config::ParseWholeNumber(seconds, 0, int64_t(1) << 40);
    if (!when || seconds.find('.') != std::string::npos || !Allowed(address)) {
        SetAside(spoolFile, "cannot be read as a spool entry");
        return false;
    }
    const auto received = std::chrono::system_clock::from_time_t(static_cast<std::time_t>(*when));
    const std::string id = spoolFile.stem().string();
    const std::string message = Compose(address, received, id);

    if (config_.relay.empty()) {
        // Outbox mode: one RFC 5322 file per mail, under the spool entry's name.
        if (!WriteDurably(config_.outbox / (id + ".eml"), message)) {
            error = "cannot write to the outbox " + config_.outbox.string();
            return false;
        }
        return true;
    }

    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        error = "libcurl unavailable";
        return false;
    }
    curl_slist* rcpt = curl_slist_append(nullptr, ("<" + address + ">").c_str());
    Upload upload{&message};
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, config_.relay.c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, ("<" + config_.from + ">").c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, &ReadUpload);
    curl_easy_setopt(c, CURLOPT_READDATA, &upload);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, 10000L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, 60000L);
    // smtp:// upgrades with STARTTLS when the relay offers it; credentials demand it.
    curl_easy_setopt(c, CURLOPT_USE_SSL, config_.relayUser.empty() ? CURLUSESSL_TRY : CURLUSESSL_ALL);
    if (!config_.relayUser.empty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, config_.relayUser.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, config_.relayPassword.c_str());
    }
    const CURLcode result = curl_easy_perform(c);
    curl_slist_free_all(rcpt);
    if (result != CURLE_OK) {
        error = curl_easy_strerror(result);
        return false;
    }
    return true;
}

void MailService::SetAside(const fs::path& spoolFile, const std::string& why)
{
    // Out of the queue, kept for a person to look at.
    std::error_code ec;
    fs::rename(spoolFile, config_.spool / "bad" / spoolFile.filename(), ec);
    std::fprintf(stderr, "zarvex-notifyd: %s %s; moved to %s\n", spoolFile.filename().c_str(), why.c_str(),
                 ec ? ("nowhere: " + ec.message()).c_str() : (config_.spool / "bad").c_str());
}

void MailService::Start()
{
    std::lock_guard lock(mutex_);
    if (worker_.joinable())
        return;
    stopping_ = false;
    worker_ = std::thread([this] { Run(); });
}

void MailService::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void MailService::Run()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        pending_ = false;
        // Oldest first: names start with the time of acceptance.
        std::vector<fs::path> entries;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(config_.spool, ec)) {
            if (e.path().extension() == ".mail")
                entries.push_back(e.path());
        }
        std::sort(entries.begin(), entries.end());
        auto next = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (const auto& entry : entries) {
            if (stopping_)
                break;
            const std::string name = entry.filename().string();
            auto& [tries, due] = retry_[name];
            const auto now = std::chrono::steady_clock::now();
            if (due > now) {
                next = std::min(next, due);
                continue;
            }
            lock.unlock();
            std::string error;
            const bool delivered = Deliver(entry, error);
            lock.lock();
            if (!delivered && error.empty()) { // set aside
                retry_.erase(name);
                continue;
            }
            if (delivered) {
                // Only now does the mail leave the spool.
                fs::remove(entry, ec);
                retry_.erase(name);
                std::fprintf(stderr, "zarvex-notifyd: delivered %s\n", name.c_str());
                continue;
            }
            ++tries;
            const int delay = RetryDelay(tries, config_.retryInitialSeconds, config_.retryMaxSeconds);
            due = std::chrono::steady_clock::now() + std::chrono::seconds(delay);
            next = std::min(next, due);
            std::fprintf(stderr, "zarvex-notifyd: %s not delivered (%s); retry in %d s\n", name.c_str(), error.c_str(),
                         delay);
        }
        wake_.wait_until(lock, next, [this] { return stopping_ || pending_; });
    }
}

} // namespace zarvex::notifyd
