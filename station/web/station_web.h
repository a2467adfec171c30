// The station's web server: a live page of its slots and totals (/, updated through
// Server-Sent Events on /events), the same state as JSON (/api/state) and Prometheus metrics
// (/metrics). Read-only; it runs on threads of its own and only ever reads snapshots of the
// status, so a slow or stalled browser never holds a slot up: the events a client cannot take
// in time are dropped for it, and it is sent the whole state again once it can. Connections,
// their memory and their idle time are bounded, so no client can take what the slots need.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "station/web/station_status.h"

namespace velkor {

struct HttpListen {
    std::string address = "127.0.0.1";
    int port = 0;  // 0: any free port
    // Host names answered besides localhost, the machine's host name and the address reached;
    // a request for any other name gets 421.
    std::vector<std::string> hosts;
};

// "[ADDR:]PORT", an IPv6 address in brackets ("[::1]:8080"); nullopt with `why` otherwise.
std::optional<HttpListen> ParseHttpListen(std::string_view text, std::string& why);

class StationWeb {
  public:
    explicit StationWeb(StationStatus& status);
    ~StationWeb();
    StationWeb(const StationWeb&) = delete;
    StationWeb& operator=(const StationWeb&) = delete;

    // Listens and serves on threads of its own; false with `error` when it cannot listen,
    // kInUse when another program (another station, say) listens there.
    bool Start(const HttpListen& listen, std::string& error);
    static constexpr std::string_view kInUse = "in use";
    // The port listened on, once started.
    int port() const;
    // Closes every connection and ends the threads.
    void Stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velkor
