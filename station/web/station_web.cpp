#include "station/web/station_web.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "station/web/host_names.h"
#include "station/web/station_json.h"
#include "station/web/station_metrics.h"
#include "station/web/web_assets.h"

namespace velkor {
namespace {

using namespace std::chrono_literals;

// Everything a client controls is bounded here, so that no client can take the memory, the
// descriptors or the threads that the slots need. Connections beyond the limits are closed as
// soon as they are accepted.
constexpr unsigned kMaxConnections = 48;
constexpr unsigned kMaxConnectionsPerAddress = 12;
// A request's head (request line and headers, which are also all the headers it may have)
// must fit here, or it is answered 431 and closed; the pool is read into as it arrives.
constexpr std::size_t kConnectionMemory = 16 * 1024;
// A connection that sends or takes nothing for this long is closed; an event stream gets a
// comment well within its own limit.
constexpr unsigned kIdleSeconds = 10;
constexpr unsigned kEventIdleSeconds = 45;
constexpr std::size_t kThreadStack = 256 * 1024;

constexpr std::size_t kMaxEventClients = 16;
constexpr std::size_t kMaxEventClientsPerAddress = 4;
// Events waiting for a client beyond this are dropped, and it is sent the whole state again.
constexpr std::size_t kClientQueueBytes = 256 * 1024;
// Changes are sent at most this often, so that a progress bar costs a few events a second.
constexpr auto kEventInterval = 250ms;
// A comment this often, so that a connection gone without a word is noticed.
constexpr auto kKeepAlive = 15s;
// How long the browser waits before it connects again after losing the station.
constexpr int kRetryMs = 2000;

constexpr const char* kSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
    "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
constexpr const char* kTextType = "text/plain; charset=utf-8";

std::string Event(std::string_view name, const std::string& data) {
    std::string event = "event: ";
    event += name;
    event += "\ndata: ";
    event += data;  // one line: the JSON has no raw line breaks
    event += "\n\n";
    return event;
}

// One browser's stream of events.
class EventClient {
  public:
    explicit EventClient(std::string address) : address_(std::move(address)) {}

    const std::string& address() const { return address_; }

    void Push(const std::string& events) {
        std::lock_guard lock(mutex_);
        if (resync_) {
            return;  // the whole state it will be sent covers these
        }
        if (queued_bytes_ + events.size() > kClientQueueBytes) {
            queue_.clear();
            queued_bytes_ = 0;
            resync_ = true;
        } else {
            queue_.push_back(events);
            queued_bytes_ += events.size();
        }
        ready_.notify_one();
    }

    void Close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        ready_.notify_one();
    }

    // What to send next: waits up to `timeout`. Empty when there is nothing; `resync` when the
    // whole state is to be sent instead.
    std::string Next(std::chrono::milliseconds timeout, bool& resync, bool& closed) {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, timeout, [&] { return closed_ || resync_ || !queue_.empty(); });
        closed = closed_;
        resync = resync_;
        resync_ = false;
        std::string events;
        if (!resync) {
            for (std::string& queued : queue_) {
                events += queued;
            }
        }
        queue_.clear();
        queued_bytes_ = 0;
        return events;
    }

  private:
    const std::string address_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::string> queue_;
    std::size_t queued_bytes_ = 0;
    bool resync_ = true;  // a new client begins with the whole state
    bool closed_ = false;
};

// The numeric address of a socket address, without a port.
std::string NumericAddress(const sockaddr* address, socklen_t length) {
    char host[NI_MAXHOST] = "";
    if (address == nullptr ||
        ::getnameinfo(address, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0) {
        return {};
    }
    return host;
}

// The names this machine answers to: localhost, its host name (whole and its first label),
// the address it listens on, and the names the station was given.
std::vector<std::string> AllowedHosts(const HttpListen& listen) {
    std::vector<std::string> names = {"localhost", listen.address};
    char host[256] = "";
    if (::gethostname(host, sizeof host - 1) == 0 && host[0] != '\0') {
        const std::string name = host;
        names.push_back(name);
        names.push_back(name.substr(0, name.find('.')));
    }
    names.insert(names.end(), listen.hosts.begin(), listen.hosts.end());
    return names;
}

// A listening socket of our own: never SO_REUSEPORT, so a second station on the same port is
// refused rather than sharing the port (and its metrics) with the first. Returns the socket,
// or -1 with `error` (an errno value; 0 when the address is not one of this machine's).
int Listen(const HttpListen& listen, int& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(listen.port);
    error = 0;
    if (::getaddrinfo(listen.address.c_str(), port.c_str(), &hints, &found) != 0) {
        return -1;
    }
    int fd = -1;
    for (const addrinfo* at = found; at != nullptr && fd < 0; at = at->ai_next) {
        // Non-blocking: a client gone between the poll and the accept must not hold the accept.
        fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                      at->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        // A restarted station may take its port back while old connections linger.
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, at->ai_addr, at->ai_addrlen) != 0 || ::listen(fd, 64) != 0) {
            error = errno;
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    return fd;
}

int PortOf(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    }
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

// A response with the headers every answer carries.
MHD_Response* Response(std::string_view body, const char* type) {
    MHD_Response* response = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response != nullptr && type != nullptr) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    }
    return response;
}

MHD_Result Queue(MHD_Connection* connection, unsigned status, MHD_Response* response) {
    if (response == nullptr) {
        return MHD_NO;  // no memory: the connection is closed
    }
    MHD_add_response_header(response, "Content-Security-Policy", kSecurityPolicy);
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

}  // namespace

std::optional<HttpListen> ParseHttpListen(std::string_view text, std::string& why) {
    HttpListen listen;
    std::string_view port = text;
    if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
        std::string_view address = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
            address = address.substr(1, address.size() - 2);
        } else if (address.find(':') != std::string_view::npos) {
            why = "an IPv6 address goes in brackets: [::1]:8080";
            return std::nullopt;
        }
        if (address.empty()) {
            why = "the address before ':' is empty";
            return std::nullopt;
        }
        listen.address = std::string(address);
    }
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), listen.port);
    if (port.empty() || error != std::errc() || end != port.data() + port.size() ||
        listen.port < 0 || listen.port > 65535) {
        why = "the port must be a number from 0 to 65535";
        return std::nullopt;
    }
    return listen;
}

struct StationWeb::Impl {
    explicit Impl(StationStatus& station) : status(station) {}

    // One event stream's state, owned by its response.
    struct Stream {
        Impl* impl;
        std::shared_ptr<EventClient> client;
        std::string pending;
        bool first = true;
    };

    static MHD_Result Answer(void* self, MHD_Connection* connection, const char* url,
                             const char* method, const char* version, const char* upload,
                             std::size_t* upload_size, void** request);
    MHD_Result Route(MHD_Connection* connection, std::string_view url, bool head);
    MHD_Result Events(MHD_Connection* connection, bool head);
    bool HostAllowed(MHD_Connection* connection) const;
    static ssize_t ReadEvents(void* stream, std::uint64_t position, char* buffer, std::size_t room);
    static void EndEvents(void* stream);

    void Publish();
    void Broadcast(const std::string& events);
    bool Stopping() {
        std::lock_guard lock(mutex);
        return stopping;
    }

    StationStatus& status;
    MHD_Daemon* daemon = nullptr;
    int socket = -1;
    std::thread publisher;
    int port = 0;
    std::vector<std::string> allowed_hosts;

    std::mutex mutex;
    std::condition_variable wake;  // the publisher, on Stop
    bool stopping = false;
    std::vector<std::shared_ptr<EventClient>> clients;
};

MHD_Result StationWeb::Impl::Answer(void* self, MHD_Connection* connection, const char* url,
                                    const char* method, const char* /*version*/,
                                    const char* /*upload*/, std::size_t* /*upload_size*/,
                                    void** /*request*/) {
    Impl& impl = *static_cast<Impl*>(self);
    const std::string_view verb = method;
    // Read-only: GET and HEAD are answered, every other method is refused before its body.
    if (verb != MHD_HTTP_METHOD_GET && verb != MHD_HTTP_METHOD_HEAD) {
        MHD_Response* response =
            Response("Only GET and HEAD: the station's page is read-only.\n", kTextType);
        if (response != nullptr) {
            MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
        }
        return Queue(connection, MHD_HTTP_METHOD_NOT_ALLOWED, response);
    }
    // A page elsewhere that got a name of its own to point at this machine (DNS rebinding)
    // would read the station's state: only this machine's own names are answered.
    if (!impl.HostAllowed(connection)) {
        return Queue(connection, MHD_HTTP_MISDIRECTED_REQUEST,
                     Response("Misdirected request: this station does not answer to that "
                              "host name.\n",
                              kTextType));
    }
    return impl.Route(connection, url, verb == MHD_HTTP_METHOD_HEAD);
}

bool StationWeb::Impl::HostAllowed(MHD_Connection* connection) const {
    const char* header = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Host");
    if (header == nullptr) {
        return true;  // HTTP/1.0 without a name: no browser sends that
    }
    // The address the client reached.
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    std::string local_address;
    if (info != nullptr &&
        ::getsockname(info->connect_fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        local_address = NumericAddress(reinterpret_cast<sockaddr*>(&local), length);
    }
    return velkor::HostAllowed(header, allowed_hosts, local_address);
}

MHD_Result StationWeb::Impl::Route(MHD_Connection* connection, std::string_view url, bool head) {
    for (const WebAsset& asset : WebAssets()) {
        if (url == asset.path) {
            // Whole bodies only: a Range header is not looked at.
            MHD_Response* response = MHD_create_response_from_buffer(
                asset.body.size(), const_cast<char*>(asset.body.data()), MHD_RESPMEM_PERSISTENT);
            if (response != nullptr) {
                MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, asset.content_type);
            }
            return Queue(connection, MHD_HTTP_OK, response);
        }
    }
    if (url == "/favicon.ico") {
        return Queue(connection, MHD_HTTP_NO_CONTENT, Response({}, nullptr));
    }
    if (url == "/api/state") {
        return Queue(connection, MHD_HTTP_OK,
                     Response(StationStateJson(status.Snapshot()) + "\n", "application/json"));
    }
    if (url == "/metrics") {
        return Queue(connection, MHD_HTTP_OK,
                     Response(StationMetrics(status.Snapshot(false)), kMetricsContentType));
    }
    if (url == "/events") {
        return Events(connection, head);
    }
    return Queue(connection, MHD_HTTP_NOT_FOUND, Response("Not found\n", kTextType));
}

MHD_Result StationWeb::Impl::Events(MHD_Connection* connection, bool head) {
    if (head) {
        // A HEAD holds no client.
        return Queue(connection, MHD_HTTP_OK, Response({}, "text/event-stream"));
    }
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    const sockaddr* peer = info != nullptr ? info->client_addr : nullptr;
    const socklen_t peer_length =
        peer != nullptr && peer->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    auto client = std::make_shared<EventClient>(NumericAddress(peer, peer_length));
    {
        std::lock_guard lock(mutex);
        const auto same_address = std::count_if(clients.begin(), clients.end(), [&](auto& other) {
            return other->address() == client->address();
        });
        // One address may not keep the wall screen out.
        if (stopping || clients.size() >= kMaxEventClients ||
            static_cast<std::size_t>(same_address) >= kMaxEventClientsPerAddress) {
            MHD_Response* response = Response("503\n", kTextType);
            if (response != nullptr) {
                MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER, "10");
            }
            return Queue(connection, MHD_HTTP_SERVICE_UNAVAILABLE, response);
        }
        clients.push_back(client);
    }
    auto* stream = new Stream{this, client, {}, true};
    MHD_Response* response =
        MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, &ReadEvents, stream, &EndEvents);
    if (response == nullptr) {
        EndEvents(stream);
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream");
    MHD_add_response_header(response, "X-Accel-Buffering", "no");
    MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT, kEventIdleSeconds);
    return Queue(connection, MHD_HTTP_OK, response);
}

// Runs on the connection's own thread: waits for events, a second at a time, until there are
// some to send or the client is closed.
ssize_t StationWeb::Impl::ReadEvents(void* opaque, std::uint64_t /*position*/, char* buffer,
                                     std::size_t room) {
    Stream& stream = *static_cast<Stream*>(opaque);
    while (stream.pending.empty()) {
        bool resync = false;
        bool closed = false;
        std::string events = stream.client->Next(1000ms, resync, closed);
        if (closed) {
            return MHD_CONTENT_READER_END_OF_STREAM;
        }
        if (stream.first) {
            events = "retry: " + std::to_string(kRetryMs) + "\n\n" + events;
            stream.first = false;
        }
        if (resync) {
            // Built here, on this client's own thread.
            events += Event("state", StationStateJson(stream.impl->status.Snapshot()));
        }
        stream.pending = std::move(events);
    }
    const std::size_t count = std::min(room, stream.pending.size());
    std::memcpy(buffer, stream.pending.data(), count);
    stream.pending.erase(0, count);
    return static_cast<ssize_t>(count);
}

void StationWeb::Impl::EndEvents(void* opaque) {
    auto* stream = static_cast<Stream*>(opaque);
    {
        std::lock_guard lock(stream->impl->mutex);
        std::erase(stream->impl->clients, stream->client);
    }
    delete stream;
}

void StationWeb::Impl::Broadcast(const std::string& events) {
    std::lock_guard lock(mutex);
    for (const auto& client : clients) {
        client->Push(events);
    }
}

void StationWeb::Impl::Publish() {
    StationSnapshot last = status.Snapshot(false);
    auto quiet_since = std::chrono::steady_clock::now();
    while (!Stopping()) {
        // A second at most, so that Stop() is never kept waiting by a quiet station.
        if (status.WaitForChange(last.sequence, 1000ms) == last.sequence) {
            if (std::chrono::steady_clock::now() - quiet_since >= kKeepAlive) {
                Broadcast(": still here\n\n");
                quiet_since = std::chrono::steady_clock::now();
            }
            continue;
        }
        StationSnapshot now = status.Snapshot(false);
        std::string events = Event("slots", StationSlotsJson(now));
        if (now.records_seen != last.records_seen) {
            now = status.Snapshot(true);
            const std::uint64_t fresh = now.records_seen - last.records_seen;
            const std::size_t shown = std::min<std::uint64_t>(fresh, now.records.size());
            // Numbered, so that a page drops a record its whole state already held.
            for (std::size_t i = now.records.size() - shown; i < now.records.size(); ++i) {
                const std::uint64_t number = now.records_seen - (now.records.size() - 1 - i);
                events +=
                    Event("record", JsonText({{"number", number}, {"record", *now.records[i]}}));
            }
        }
        Broadcast(events);
        last = std::move(now);
        quiet_since = std::chrono::steady_clock::now();
        std::unique_lock lock(mutex);
        wake.wait_for(lock, kEventInterval, [this] { return stopping; });
    }
}

StationWeb::StationWeb(StationStatus& status) : impl_(std::make_unique<Impl>(status)) {}

StationWeb::~StationWeb() {
    Stop();
}

bool StationWeb::Start(const HttpListen& listen, std::string& error) {
    Impl& impl = *impl_;
    int listen_error = 0;
    impl.socket = Listen(listen, listen_error);
    if (impl.socket < 0) {
        error = listen_error == EADDRINUSE ? std::string(kInUse)
                : listen_error != 0        ? std::strerror(listen_error)
                                           : "the address is not one of this machine's";
        return false;
    }
    impl.port = PortOf(impl.socket);
    impl.allowed_hosts = AllowedHosts(listen);
    // A thread per connection, so that an event stream may wait for its events; the limits
    // bound how many there are.
    impl.daemon = MHD_start_daemon(
        MHD_USE_THREAD_PER_CONNECTION | MHD_USE_POLL_INTERNAL_THREAD, 0, nullptr, nullptr,
        &Impl::Answer, &impl, MHD_OPTION_LISTEN_SOCKET, impl.socket, MHD_OPTION_CONNECTION_LIMIT,
        kMaxConnections, MHD_OPTION_PER_IP_CONNECTION_LIMIT, kMaxConnectionsPerAddress,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_CONNECTION_TIMEOUT,
        kIdleSeconds, MHD_OPTION_THREAD_STACK_SIZE, kThreadStack, MHD_OPTION_END);
    if (impl.daemon == nullptr) {
        ::close(impl.socket);
        impl.socket = -1;
        error = "the HTTP server could not start";
        return false;
    }
    impl.socket = -1;  // the daemon's now: it closes it when it stops
    impl.publisher = std::thread([&impl] { impl.Publish(); });
    return true;
}

int StationWeb::port() const {
    return impl_->port;
}

void StationWeb::Stop() {
    Impl& impl = *impl_;
    {
        std::lock_guard lock(impl.mutex);
        if (impl.stopping) {
            return;
        }
        impl.stopping = true;
        for (const auto& client : impl.clients) {
            client->Close();
        }
    }
    impl.wake.notify_all();
    if (impl.daemon != nullptr) {
        // Ends every connection's thread; the event streams were closed above.
        MHD_stop_daemon(impl.daemon);
        impl.daemon = nullptr;
    }
    if (impl.publisher.joinable()) {
        impl.publisher.join();
    }
}

}  // namespace velkor
