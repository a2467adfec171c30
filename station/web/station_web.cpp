#include "station/web/station_web.h"

#include <httplib.h>

#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "station/web/station_json.h"
#include "station/web/station_metrics.h"
#include "station/web/web_assets.h"

namespace velkor {
namespace {

using namespace std::chrono_literals;

// Connections served at once; each page keeps one open for its events.
constexpr std::size_t kWorkers = 24;
constexpr std::size_t kMaxEventClients = 16;
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
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::string> queue_;
    std::size_t queued_bytes_ = 0;
    bool resync_ = true;  // a new client begins with the whole state
    bool closed_ = false;
};

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

    void Routes();
    void Publish();
    void Broadcast(const std::string& events);
    bool Stopping() {
        std::lock_guard lock(mutex);
        return stopping;
    }

    StationStatus& status;
    httplib::Server server;
    std::thread listener;
    std::thread publisher;
    int port = 0;

    std::mutex mutex;
    std::condition_variable wake;  // the publisher, on Stop
    bool stopping = false;
    std::vector<std::shared_ptr<EventClient>> clients;
};

void StationWeb::Impl::Routes() {
    server.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    server.set_default_headers({{"Content-Security-Policy", kSecurityPolicy},
                                {"X-Content-Type-Options", "nosniff"},
                                {"Referrer-Policy", "no-referrer"},
                                {"Cache-Control", "no-store"}});
    // Read-only: the handlers below answer GET and HEAD, every other method is refused here.
    server.set_pre_routing_handler(
        [](const httplib::Request& request, httplib::Response& response) {
            if (request.method == "GET" || request.method == "HEAD") {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            response.status = 405;
            response.set_header("Allow", "GET, HEAD");
            response.set_content("Only GET and HEAD: the station's page is read-only.\n",
                                 "text/plain; charset=utf-8");
            return httplib::Server::HandlerResponse::Handled;
        });
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty()) {
            response.set_content(
                response.status == 404 ? "Not found\n" : std::to_string(response.status) + "\n",
                "text/plain; charset=utf-8");
        }
    });
    for (const WebAsset& asset : WebAssets()) {
        server.Get(asset.path, [&asset](const httplib::Request&, httplib::Response& response) {
            response.set_content(asset.body.data(), asset.body.size(), asset.content_type);
        });
    }
    server.Get("/favicon.ico",
               [](const httplib::Request&, httplib::Response& response) { response.status = 204; });
    server.Get("/api/state", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(StationStateJson(status.Snapshot()) + "\n", "application/json");
    });
    server.Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(StationMetrics(status.Snapshot(false)), kMetricsContentType);
    });
    server.Get("/events", [this](const httplib::Request& request, httplib::Response& response) {
        if (request.method == "HEAD") {
            response.set_header("Content-Type", "text/event-stream");
            return;
        }
        auto client = std::make_shared<EventClient>();
        {
            std::lock_guard lock(mutex);
            if (stopping || clients.size() >= kMaxEventClients) {
                response.status = 503;
                response.set_header("Retry-After", "10");
                return;
            }
            clients.push_back(client);
        }
        response.set_header("X-Accel-Buffering", "no");
        response.set_chunked_content_provider(
            "text/event-stream",
            [this, client, first = true](std::size_t, httplib::DataSink& sink) mutable {
                bool resync = false;
                bool closed = false;
                std::string events = client->Next(1000ms, resync, closed);
                if (closed) {
                    return false;
                }
                if (first) {
                    events = "retry: " + std::to_string(kRetryMs) + "\n\n" + events;
                    first = false;
                }
                if (resync) {
                    // Built here, on this client's own thread.
                    events += Event("state", StationStateJson(status.Snapshot()));
                }
                return events.empty() || sink.write(events.data(), events.size());
            },
            [this, client](bool) {
                std::lock_guard lock(mutex);
                std::erase(clients, client);
            });
    });
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
    impl.Routes();
    errno = 0;
    const bool bound = listen.port == 0
                           ? (impl.port = impl.server.bind_to_any_port(listen.address)) > 0
                           : impl.server.bind_to_port(listen.address, listen.port);
    if (!bound) {
        error = errno != 0 ? std::strerror(errno) : "the address is not one of this machine's";
        return false;
    }
    if (listen.port != 0) {
        impl.port = listen.port;
    }
    impl.listener = std::thread([&impl] { impl.server.listen_after_bind(); });
    impl.publisher = std::thread([&impl] { impl.Publish(); });
    // Stop() must find the server running, or it would not end the listener.
    while (!impl.server.is_running()) {
        std::this_thread::sleep_for(1ms);
    }
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
    if (impl.listener.joinable()) {
        impl.server.stop();
        impl.listener.join();
    }
    if (impl.publisher.joinable()) {
        impl.publisher.join();
    }
}

}  // namespace velkor
