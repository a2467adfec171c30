// A plain HTTP/1.1 client for tests of the station's web server: it sends a request as given,
// byte for byte, so a test can send what no well-behaved client would, and reads the answer
// until the server closes the connection.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace velkor::testing {

struct HttpReply {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;

    std::string Header(const std::string& name) const {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
};

// A connected socket to 127.0.0.1:`port`, or -1; from another loopback address (127.0.0.2,
// say) when `from` is given, as a second machine would be.
inline int ConnectLocal(int port, const char* from = nullptr) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (from != nullptr) {
        ::inet_pton(AF_INET, from, &address.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
    }
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Everything the server sends until it closes, or until `timeout` passes.
inline std::string ReadToClose(int fd, std::chrono::milliseconds timeout) {
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            return bytes;
        }
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            return bytes;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

// The status, headers and body of a whole answer; status 0 when there was none.
inline HttpReply ParseReply(std::string_view text) {
    HttpReply reply;
    const auto head_end = text.find("\r\n\r\n");
    if (!text.starts_with("HTTP/1.") || head_end == std::string_view::npos || text.size() < 12) {
        return reply;
    }
    reply.status = std::atoi(std::string(text.substr(9, 3)).c_str());
    std::string_view head = text.substr(0, head_end);
    head.remove_prefix(std::min(head.size(), head.find("\r\n") + 2));
    while (!head.empty()) {
        const auto end = std::min(head.find("\r\n"), head.size());
        const std::string_view line = head.substr(0, end);
        if (const auto colon = line.find(':'); colon != std::string_view::npos) {
            std::string name(line.substr(0, colon));
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return std::tolower(c); });
            std::string_view value = line.substr(colon + 1);
            while (value.starts_with(' ')) {
                value.remove_prefix(1);
            }
            reply.headers[name] = std::string(value);
        }
        head.remove_prefix(std::min(head.size(), end + 2));
    }
    reply.body = std::string(text.substr(head_end + 4));
    return reply;
}

// Sends `method path` with the Host given, and reads the whole answer.
inline HttpReply HttpRequest(int port, std::string_view method, std::string_view path,
                             std::string_view host = "127.0.0.1",
                             std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const int fd = ConnectLocal(port);
    if (fd < 0) {
        return {};
    }
    std::string request(method);
    request.append(" ").append(path).append(" HTTP/1.1\r\nHost: ").append(host);
    request.append("\r\nConnection: close\r\n\r\n");
    HttpReply reply;
    if (::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
        reply = ParseReply(ReadToClose(fd, timeout));
    }
    ::close(fd);
    return reply;
}

}  // namespace velkor::testing
