// zarvex-notifyd: the notification and update service the desktop program
// asks. POST /quorel401/vers.asp answers the latest version; POST
// /quorel401/mail.asp?usermail=ADDRESS queues a mail durably, answers at
// once, and delivers in the background (SMTP relay, or an outbox folder).
#include "mail_service.h"

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

using namespace zarvex::notifyd;

namespace {

httplib::Server* g_server = nullptr;

void StopOnSignal(int)
{
    if (g_server)
        g_server->stop();
}

const char* const kHelp = R"(Usage: zarvex-notifyd [--config FILE]

The notification and update service of Zarvex. Settings come from section
[notifyd] of FILE (default: notifyd.ini beside the program; every key is
optional):
  listen = 127.0.0.1:8080        where to listen
  version = 4.0.1                the answer to /quorel401/vers.asp
  relay = smtp://host:587        SMTP relay (smtps:// for TLS from the start);
                                 empty: mails go to the outbox folder
  relay_user, relay_password     credentials (then TLS is required)
  from = zarvex-notifyd@localhost
  allowed_domains = 163.com      recipients' domains, comma-separated
  allowed_addresses =            further single addresses allowed
  rate_per_hour = 30             mails per address and hour
  spool = notifyd-spool          accepted mails until delivered
  outbox = notifyd-outbox        one .eml file per mail without a relay
  retry_initial_seconds = 5, retry_max_seconds = 300   back-off while the relay is down
)";

} // namespace

int main(int argc, char** argv)
{
    std::filesystem::path configFile = std::filesystem::canonical("/proc/self/exe").parent_path() / "notifyd.ini";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--config") && i + 1 < argc) {
            configFile = argv[++i];
        } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kHelp, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "zarvex-notifyd: unknown argument %s (see --help)\n", argv[i]);
            return 2;
        }
    }

    ServiceConfig config;
    try {
        config = LoadConfig(configFile);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    MailService mail(config);
    mail.Start();

    httplib::Server server;
    // Small requests only, and no client may hold a connection for long.
    server.set_payload_max_length(4096);
    server.set_read_timeout(2, 0);
    server.set_write_timeout(2, 0);
    server.set_keep_alive_timeout(2);
    server.set_keep_alive_max_count(100);
    server.set_tcp_nodelay(true); // small answers go out at once

    server.Post("/quorel401/vers.asp", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(config.latestVersion, "text/plain; charset=utf-8");
    });
    server.Post("/quorel401/mail.asp", [&](const httplib::Request& req, httplib::Response& res) {
        const auto address = AddressFromTarget(req.target);
        const Verdict v = address ? mail.Accept(*address) : Verdict::BadAddress;
        const char* text = "OK";
        switch (v) {
        case Verdict::Accepted: res.status = 200; break;
        case Verdict::BadAddress: res.status = 400; text = "bad address"; break;
        case Verdict::DomainRefused: res.status = 403; text = "recipient not allowed"; break;
        case Verdict::RateLimited: res.status = 429; text = "too many mails for this address"; break;
        case Verdict::QueueFailed: res.status = 503; text = "cannot queue the mail"; break;
        }
        if (v != Verdict::Accepted)
            std::fprintf(stderr, "zarvex-notifyd: refused %s from %s: %s\n", req.target.c_str(),
                         req.remote_addr.c_str(), text);
        res.set_content(text, "text/plain; charset=utf-8");
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            res.set_content(std::to_string(res.status) + "\n", "text/plain");
    });

    g_server = &server;
    std::signal(SIGTERM, StopOnSignal);
    std::signal(SIGINT, StopOnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    if (!server.bind_to_port(config.listenHost, config.listenPort)) {
        std::fprintf(stderr, "zarvex-notifyd: cannot listen on %s:%d\n", config.listenHost.c_str(), config.listenPort);
        return 1;
    }
    std::fprintf(stderr, "zarvex-notifyd: listening on %s:%d, %s\n", config.listenHost.c_str(), config.listenPort,
                 config.relay.empty() ? ("outbox " + config.outbox.string()).c_str() : ("relay " + config.relay).c_str());
    server.listen_after_bind();
    mail.Stop();
    return 0;
}
