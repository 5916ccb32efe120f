#pragma once
// A small HTTP server on 127.0.0.1 at a port the system picks, for the
// download tests and benchmark: one connection at a time, one answer each.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using socket_t = SOCKET;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using socket_t = int;
inline void closesocket(socket_t s) {
    ::close(s);
}
#endif

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

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
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof address;
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), len);
        ::listen(listener, 64);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &len);
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
        ::connect(wake, reinterpret_cast<sockaddr*>(&address), sizeof address);
        acceptor.join();
        closesocket(wake);
        closesocket(listener);
    }

    std::string url(std::string_view path) const {
        return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + std::string(path);
    }

    // Answers `path`, with the body's Content-Length unless `headers` give
    // one; `headers` end in "\r\n" each.
    void answer(const std::string& path, int status, std::string body, std::string headers = {}) {
        if (headers.find("Content-Length") == std::string::npos)
            headers += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        std::string all = "HTTP/1.1 " + std::to_string(status) + " X\r\n" + headers +
                          "Connection: close\r\n\r\n" + body;
        route(path, [all](http_server&, socket_t s) { send_all(s, all); });
    }

    // Sends `bytes` of the head and body, then nothing more until the server
    // is destroyed; wait_stalled() returns once it has sent them.
    void stall(const std::string& path, std::string bytes) {
        route(path, [bytes](http_server& self, socket_t s) {
            send_all(s, bytes);
            std::unique_lock lock(self.mutex);
            self.stalled = true;
            self.changed.notify_all();
            self.changed.wait(lock, [&] { return self.stopping; });
        });
    }
    void wait_stalled() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stalled; });
    }

    void route(const std::string& path, handler h) {
        std::lock_guard lock(mutex);
        routes[path] = std::move(h);
    }

    static bool send_all(socket_t s, std::string_view data) {
        for (int n = 0; !data.empty(); data.remove_prefix(static_cast<size_t>(n)))
            if ((n = static_cast<int>(::send(s, data.data(), static_cast<int>(data.size()), 0))) <= 0)
                return false;
        return true;
    }

  private:
    void accept_loop() {
        for (;;) {
            socket_t s = ::accept(listener, nullptr, nullptr);
            if (std::lock_guard lock(mutex); stopping) {
                closesocket(s);
                return;
            }
            serve(s);
        }
    }

    // Reads the request's head and answers by the path in its first line.
    void serve(socket_t s) {
        std::string request;
        char buf[4096];
        for (int n; request.find("\r\n\r\n") == std::string::npos &&
                    (n = static_cast<int>(::recv(s, buf, sizeof buf, 0))) > 0;)
            request.append(buf, static_cast<size_t>(n));
        auto first = request.find(' ');
        std::string path = request.substr(first + 1, request.find(' ', first + 1) - first - 1);
        std::unique_lock lock(mutex);
        auto it = routes.find(path);
        handler h = it == routes.end() ? nullptr : it->second;
        lock.unlock();
        if (h)
            h(*this, s);
        else
            send_all(s, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        closesocket(s);
    }

    socket_t listener;
    sockaddr_in address{};
    std::thread acceptor;
    std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false, stalled = false;
    std::map<std::string, handler> routes;
};

} // namespace tw::test
