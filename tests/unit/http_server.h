#pragma once
// A small HTTP server on 127.0.0.1 at a port the system picks, for the
// download tests and benchmark. Each connection gets a thread and one
// answer, then is closed.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using socket_t = SOCKET;
inline void close_socket(socket_t s) {
    closesocket(s);
}
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using socket_t = int;
inline void close_socket(socket_t s) {
    ::close(s);
}
#endif

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tw::test {

class http_server {
  public:
    // Writes the whole answer to the connected socket.
    using handler = std::function<void(http_server&, socket_t)>;

    http_server() {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = loopback(0);
        socklen_t len = sizeof addr;
        ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener, 64);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
        port = ntohs(addr.sin_port);
        acceptor = std::thread([this] { accept_loop(); });
    }

    ~http_server() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        // A last connection of our own unblocks accept().
        socket_t wake = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = loopback(port);
        ::connect(wake, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        acceptor.join();
        close_socket(wake);
        close_socket(listener);
        for (auto& t : connections)
            t.join();
    }

    std::string url(std::string_view path) const {
        return "http://127.0.0.1:" + std::to_string(port) + std::string(path);
    }

    // Answers `path` with `status` and `body`, with a Content-Length unless
    // `with_length` is false; `headers` end in "\r\n" each.
    void answer(const std::string& path, int status, std::string body, std::string headers = {},
                bool with_length = true) {
        std::string head = "HTTP/1.1 " + std::to_string(status) + " X\r\n" + headers;
        if (with_length)
            head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        route(path, [all = head + "Connection: close\r\n\r\n" + body](http_server&, socket_t s) {
            send_all(s, all);
        });
    }

    // Sends `bytes` of the head and body, then nothing more until the server
    // is destroyed; wait_stalled() returns once it has sent them.
    void stall(const std::string& path, std::string bytes) {
        route(path, [bytes](http_server& self, socket_t s) {
            send_all(s, bytes);
            std::unique_lock lock(self.mutex);
            ++self.stalled;
            self.changed.notify_all();
            self.changed.wait(lock, [&] { return self.stopping; });
        });
    }

    void route(const std::string& path, handler h) {
        std::lock_guard lock(mutex);
        routes[path] = std::move(h);
    }

    void wait_stalled() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stalled > 0; });
    }

    static bool send_all(socket_t s, std::string_view data) {
        while (!data.empty()) {
            auto n = ::send(s, data.data(), static_cast<int>(data.size()), 0);
            if (n <= 0)
                return false;
            data.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

  private:
    static sockaddr_in loopback(std::uint16_t port) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        return addr;
    }

    void accept_loop() {
        for (;;) {
            socket_t s = ::accept(listener, nullptr, nullptr);
            std::lock_guard lock(mutex);
            if (stopping) {
                close_socket(s);
                return;
            }
            connections.emplace_back([this, s] { serve(s); });
        }
    }

    void serve(socket_t s) {
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            auto n = ::recv(s, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            request.append(buf, static_cast<size_t>(n));
        }
        auto first = request.find(' ');
        std::string path = request.substr(first + 1, request.find(' ', first + 1) - first - 1);
        handler h;
        {
            std::lock_guard lock(mutex);
            if (auto it = routes.find(path); it != routes.end())
                h = it->second;
        }
        if (h)
            h(*this, s);
        else
            send_all(s, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        close_socket(s);
    }

    socket_t listener;
    std::uint16_t port = 0;
    std::thread acceptor;
    std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    int stalled = 0;
    std::map<std::string, handler> routes;
    std::vector<std::thread> connections;
};

} // namespace tw::test
