// zarvex-notifyd: the notification and update service the desktop program
// asks. POST /quorel401/vers.asp answers the latest version; POST
// /quorel401/mail.asp?usermail=ADDRESS queues a mail durably, answers at
// once, and delivers in the background (SMTP relay, or an outbox folder).
//
// It is meant to face the internet, so the HTTP side holds its limits by
// construction (libmicrohttpd): a few event-driven threads serve every
// connection, so idle or slow clients cost memory, not workers; connections
// are capped overall and per client address; a request must arrive whole
// within a deadline; request line, headers and body are bounded and bodies
// are never decoded.
#include "mail_service.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>

using namespace zarvex::notifyd;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kMaxBody = 4096;        // the program sends none
constexpr size_t kMaxTarget = 2048;      // request target
constexpr size_t kMaxHeaderBytes = 8192; // request line and headers
constexpr int kMaxHeaders = 64;
// Per-connection memory: the headers above, the answer and some slack. What
// does not fit is refused by the library itself.
constexpr size_t kConnectionMemory = 32 * 1024;
// Each polling thread serves many connections. An accepted mail is flushed
// to disk (fsync) before its answer, which holds up that thread's other
// clients for as long; eight of them keep that to an eighth of the clients
// and let eight flushes share the disk's journal commits, as many as the
// thread-per-request server before had.
constexpr unsigned kThreads = 8;

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
  rate_per_hour = 30             mails per mailbox (without +tag) and hour
  rate_per_client_per_hour = 60  mails per client IP address and hour
  rate_overall_per_hour = 300    mails in all per hour
  request_seconds = 5            time for a whole request to arrive
  max_connections = 512          open connections in all
  max_connections_per_client = 32  open connections per client IP address
  spool = notifyd-spool          accepted mails until delivered
  outbox = notifyd-outbox        one .eml file per mail without a relay
  retry_initial_seconds = 5, retry_max_seconds = 300   back-off while the relay is down
)";

// One client connection; lives from accept to close (MHD's socket context).
struct Connection {
    int fd = -1;
    std::string client;
    Clock::time_point since; // opened, or the previous answer went out
    bool cut = false;
    // The request under way.
    Clock::time_point started;
    std::string target; // raw, as on the request line
    bool headersSeen = false;
    size_t bodyBytes = 0;
    unsigned status = 0;
    const char* note = "";
};

struct Server {
    const ServiceConfig* config = nullptr;
    MailService* mail = nullptr;
    std::mutex mutex; // guards `open` and each Connection's `since` and `cut`
    std::set<Connection*> open;
};

// Printable ASCII as it is, everything else as \xHH: request targets come
// from anyone and must not forge log lines or drive a terminal.
std::string Escaped(const std::string& text)
{
    std::string out;
    for (const unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string ClientOf(MHD_Connection* c)
{
    const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    char text[INET6_ADDRSTRLEN] = "?";
    if (info && info->client_addr) {
        const sockaddr* a = info->client_addr;
        if (a->sa_family == AF_INET)
            ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
        else if (a->sa_family == AF_INET6)
            ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr, text, sizeof text);
    }
    return text;
}

void OnConnection(void* cls, MHD_Connection* c, void** context, MHD_ConnectionNotificationCode code)
{
    auto* server = static_cast<Server*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        auto* conn = new Connection;
        const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
        conn->fd = info ? info->connect_fd : -1;
        conn->client = ClientOf(c);
        conn->since = Clock::now();
        *context = conn;
        std::lock_guard lock(server->mutex);
        server->open.insert(conn);
        return;
    }
    // The library closes the socket only after this returns, so the deadline
    // sweep (under the same lock) never touches a reused descriptor.
    auto* conn = static_cast<Connection*>(*context);
    {
        std::lock_guard lock(server->mutex);
        server->open.erase(conn);
    }
    delete conn;
    *context = nullptr;
}

Connection* ConnectionOf(MHD_Connection* c)
{
    const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<Connection*>(info->socket_context) : nullptr;
}

// Called once the request line is in: the raw target (the library would turn
// a "+" in the query into a blank) and the start of the request.
void* OnRequestLine(void*, const char* uri, MHD_Connection* c)
{
    Connection* conn = ConnectionOf(c);
    if (!conn)
        return nullptr;
    conn->started = Clock::now();
    conn->target = uri ? uri : "";
    conn->headersSeen = false;
    conn->bodyBytes = 0;
    conn->status = 0;
    conn->note = "";
    return conn;
}

void OnCompleted(void* cls, MHD_Connection* c, void** request, MHD_RequestTerminationCode code)
{
    auto* server = static_cast<Server*>(cls);
    Connection* conn = *request ? static_cast<Connection*>(*request) : ConnectionOf(c);
    if (!conn)
        return;
    unsigned status = conn->status;
    if (const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_HTTP_STATUS); info && !status)
        status = info->http_status;
    const auto now = Clock::now();
    const double ms = std::chrono::duration<double, std::milli>(now - conn->started).count();
    const std::time_t wall = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&wall, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &tm);
    const std::string answer = status ? std::to_string(status) : std::string("-");
    const char* how = code == MHD_REQUEST_TERMINATED_COMPLETED_OK ? "" : " closed";
    std::fprintf(stderr, "zarvex-notifyd: %s %s %s %s %.1f ms%s%s\n", when, conn->client.c_str(),
                 Escaped(conn->target).c_str(), answer.c_str(), ms, how, conn->note);
    conn->target.clear();
    std::lock_guard lock(server->mutex);
    conn->since = now; // a kept-alive connection starts its next deadline
}

struct HeaderCount {
    int all = 0, contentLength = 0, transferEncoding = 0;
};

MHD_Result CountHeader(void* cls, MHD_ValueKind, const char* key, const char*)
{
    auto* n = static_cast<HeaderCount*>(cls);
    ++n->all;
    n->contentLength += strcasecmp(key, MHD_HTTP_HEADER_CONTENT_LENGTH) == 0;
    n->transferEncoding += strcasecmp(key, MHD_HTTP_HEADER_TRANSFER_ENCODING) == 0;
    return MHD_YES;
}

MHD_Result Answer(MHD_Connection* c, Connection* conn, unsigned status, const std::string& text, bool close = false)
{
    MHD_Response* r = MHD_create_response_from_buffer(text.size(), const_cast<char*>(text.data()), MHD_RESPMEM_MUST_COPY);
    if (!r)
        return MHD_NO;
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; charset=utf-8");
    // After a refusal in mid-request the rest of it is not read, so the
    // connection cannot carry another request.
    if (close)
        MHD_add_response_header(r, MHD_HTTP_HEADER_CONNECTION, "close");
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(r, MHD_HTTP_HEADER_ALLOW, MHD_HTTP_METHOD_POST);
    const MHD_Result queued = MHD_queue_response(c, status, r);
    MHD_destroy_response(r);
    if (queued == MHD_YES)
        conn->status = status;
    return queued;
}

MHD_Result OnRequest(void* cls, MHD_Connection* c, const char* url, const char* method, const char*, const char*,
                     size_t* uploadSize, void** request)
{
    auto* server = static_cast<Server*>(cls);
    auto* conn = static_cast<Connection*>(*request);
    if (!conn)
        return MHD_NO;
    if (!conn->headersSeen) {
        conn->headersSeen = true;
        HeaderCount n;
        MHD_get_connection_values(c, MHD_HEADER_KIND, &CountHeader, &n);
        const auto* size = MHD_get_connection_info(c, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE);
        const char* length = MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
        if (conn->target.size() > kMaxTarget)
            return Answer(c, conn, 414, "request target too long\n", true);
        if (n.all > kMaxHeaders || (size && size->header_size > kMaxHeaderBytes))
            return Answer(c, conn, 431, "too many or too long headers\n", true);
        // Two lengths, or a length beside chunked framing, let a proxy in
        // front and this service disagree on where the request ends.
        if (n.contentLength > 1 || (n.contentLength && n.transferEncoding) || n.transferEncoding > 1)
            return Answer(c, conn, 400, "conflicting body length\n", true);
        // The library frames only plain "chunked"; with any other coding it
        // would take the body to run until the client closes, and read the
        // requests a proxy sends behind it on that connection as this body.
        const char* coding = MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_TRANSFER_ENCODING);
        if (coding && strcasecmp(coding, "chunked") != 0)
            return Answer(c, conn, 501, "transfer coding not supported\n", true);
        if (length && std::strtoull(length, nullptr, 10) > kMaxBody)
            return Answer(c, conn, 413, "body too large\n", true);
        return MHD_YES;
    }
    if (*uploadSize) {
        // Counted as it arrives, whatever the framing: chunked bodies too.
        // The library cannot answer in mid-body, so the connection is
        // closed without one.
        conn->bodyBytes += *uploadSize;
        *uploadSize = 0;
        if (conn->bodyBytes <= kMaxBody)
            return MHD_YES;
        conn->note = " (body over 4 KiB)";
        return MHD_NO;
    }

    {
        // The whole request is in. The deadline is for clients that are slow
        // to send; cutting now, while a mail is flushed to a slow disk, would
        // drop the answer to a mail already queued and make the client send
        // it again. The library's idle time-out still bounds the answer.
        std::lock_guard lock(server->mutex);
        conn->since = Clock::time_point::max();
    }
    const bool version = !std::strcmp(url, "/quorel401/vers.asp");
    const bool mailRequest = !std::strcmp(url, "/quorel401/mail.asp");
    if (!version && !mailRequest)
        return Answer(c, conn, 404, "not found\n");
    if (std::strcmp(method, MHD_HTTP_METHOD_POST) != 0)
        return Answer(c, conn, 405, "POST only\n");
    if (version)
        return Answer(c, conn, 200, server->config->latestVersion);
    const auto address = AddressFromTarget(conn->target);
    switch (address ? server->mail->Accept(*address, conn->client) : Verdict::BadAddress) {
    case Verdict::Accepted: return Answer(c, conn, 200, "OK");
    case Verdict::BadAddress: return Answer(c, conn, 400, "recipient not allowed");
    case Verdict::RateLimited: return Answer(c, conn, 429, "too many mails");
    case Verdict::QueueFailed: return Answer(c, conn, 503, "cannot queue the mail");
    }
    return MHD_NO;
}

// Ends connections whose request has not arrived whole within the deadline
// (slow senders that keep the library's idle time-out from firing). Shutting
// the socket down makes the library see the end of the stream and close it.
void CutLateConnections(Server& server)
{
    const auto deadline = Clock::now() - std::chrono::seconds(server.config->requestSeconds);
    std::lock_guard lock(server.mutex);
    for (Connection* conn : server.open) {
        if (!conn->cut && conn->since < deadline && conn->fd >= 0) {
            ::shutdown(conn->fd, SHUT_RDWR);
            conn->cut = true;
        }
    }
}

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
    std::unique_ptr<MailService> mail;
    try {
        config = LoadConfig(configFile);
        mail = std::make_unique<MailService>(config);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }

    // Signals are taken by the main thread alone (sigtimedwait below); every
    // thread started from here on inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* where = nullptr;
    if (::getaddrinfo(config.listenHost.c_str(), std::to_string(config.listenPort).c_str(), &hints, &where) != 0
        || !where) {
        std::fprintf(stderr, "zarvex-notifyd: cannot listen on %s:%d: unknown host\n", config.listenHost.c_str(),
                     config.listenPort);
        return 1;
    }
    mail->Start();

    Server server{&config, mail.get(), {}, {}};
    // The library splits the connection cap among its threads; a thread
    // left without a share would never wake up to stop.
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL;
    if (where->ai_family == AF_INET6)
        flags |= MHD_USE_IPv6;
    MHD_Daemon* daemon = MHD_start_daemon(
        flags, static_cast<uint16_t>(config.listenPort), nullptr, nullptr, &OnRequest, &server,
        MHD_OPTION_SOCK_ADDR, where->ai_addr,
        MHD_OPTION_THREAD_POOL_SIZE, std::min(kThreads, static_cast<unsigned>(config.maxConnections)),
        MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(config.maxConnections),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<unsigned>(config.maxConnectionsPerClient),
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(config.requestSeconds),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,
        MHD_OPTION_LISTEN_BACKLOG_SIZE, 1024u,
        MHD_OPTION_NOTIFY_CONNECTION, &OnConnection, &server,
        MHD_OPTION_URI_LOG_CALLBACK, &OnRequestLine, &server,
        MHD_OPTION_NOTIFY_COMPLETED, &OnCompleted, &server,
        MHD_OPTION_END);
    ::freeaddrinfo(where);
    if (!daemon) {
        std::fprintf(stderr, "zarvex-notifyd: cannot listen on %s:%d\n", config.listenHost.c_str(), config.listenPort);
        mail->Stop();
        return 1;
    }
    std::fprintf(stderr, "zarvex-notifyd: listening on %s:%d, %s\n", config.listenHost.c_str(), config.listenPort,
                 config.relay.empty() ? ("outbox " + config.outbox.string()).c_str() : ("relay " + config.relay).c_str());

    const timespec tick{0, 200'000'000};
    while (sigtimedwait(&stopSignals, nullptr, &tick) < 0)
        CutLateConnections(server);
    MHD_stop_daemon(daemon);
    mail->Stop();
    return 0;
}
