#pragma once
// A small HTTP/1.1 server on 127.0.0.1 at a port the system picks, for
// tests and benchmarks of the download worker. Every connection gets its own
// thread and answers one request, then closes ("Connection: close"). POSIX
// only, like the test suite.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tw::test {

class http_server {
  public:
    // Writes the whole response to the connected socket `fd`.
    using handler = std::function<void(int fd)>;

    http_server() {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listener < 0)
            throw std::runtime_error("socket");
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        socklen_t len = sizeof addr;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listener, 64) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            ::close(listener);
            throw std::runtime_error("bind");
        }
        port_ = ntohs(addr.sin_port);
        acceptor = std::thread([this] { accept_loop(); });
    }

    ~http_server() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        // Wakes the blocking accept() on Linux.
        ::shutdown(listener, SHUT_RDWR);
        acceptor.join();
        ::close(listener);
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(mutex);
            threads.swap(connections);
        }
        for (auto& t : threads)
            t.join();
    }

    http_server(const http_server&) = delete;
    http_server& operator=(const http_server&) = delete;

    std::uint16_t port() const { return port_; }
    std::string url(std::string_view path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
    }

    void route(const std::string& path, handler h) {
        std::lock_guard lock(mutex);
        routes[path] = std::move(h);
    }

    // 200 with `body`, with a Content-Length or delimited by closing.
    void body(const std::string& path, std::string content, bool with_length = true) {
        route(path, [content = std::move(content), with_length](int fd) {
            std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n";
            if (with_length)
                head += "Content-Length: " + std::to_string(content.size()) + "\r\n";
            send_all(fd, head + "Connection: close\r\n\r\n");
            send_all(fd, content);
        });
    }

    // An error status with a body of its own.
    void status(const std::string& path, int code, std::string content) {
        route(path, [code, content = std::move(content)](int fd) {
            send_all(fd, "HTTP/1.1 " + std::to_string(code) +
                             " Trouble\r\nContent-Type: text/plain\r\nContent-Length: " +
                             std::to_string(content.size()) + "\r\nConnection: close\r\n\r\n" +
                             content);
        });
    }

    void redirect(const std::string& path, std::string location, int code = 302) {
        route(path, [code, location = std::move(location)](int fd) {
            std::string text = "Moved.";
            send_all(fd, "HTTP/1.1 " + std::to_string(code) + " Found\r\nLocation: " + location +
                             "\r\nContent-Length: " + std::to_string(text.size()) +
                             "\r\nConnection: close\r\n\r\n" + text);
        });
    }

    // Announces `declared` bytes, sends `partial`, then resets the
    // connection (RST, not an orderly close).
    void reset_mid_body(const std::string& path, std::uint64_t declared, std::string partial) {
        route(path, [declared, partial = std::move(partial)](int fd) {
            send_all(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(declared) +
                             "\r\nConnection: close\r\n\r\n" + partial);
            linger hard{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        });
    }

    // Announces `declared` bytes, sends `partial`, then sends nothing more
    // until the server is destroyed. wait_stalled() returns once it has.
    void stall(const std::string& path, std::uint64_t declared, std::string partial) {
        route(path, [this, declared, partial = std::move(partial)](int fd) {
            send_all(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(declared) +
                             "\r\nConnection: close\r\n\r\n" + partial);
            std::unique_lock lock(mutex);
            ++stalled;
            changed.notify_all();
            changed.wait(lock, [this] { return stopping; });
        });
    }

    // `size` generated bytes (a repeating pattern) with a Content-Length,
    // sent in 1 MiB writes; for benchmarks.
    void generated(const std::string& path, std::uint64_t size) {
        // Made once here, so that serving allocates nothing per request.
        auto block = std::make_shared<std::string>(1 << 20, '\0');
        for (size_t i = 0; i < block->size(); ++i)
            (*block)[i] = static_cast<char>(i * 31 + 7);
        route(path, [size, block](int fd) {
            send_all(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) +
                             "\r\nConnection: close\r\n\r\n");
            for (std::uint64_t left = size; left > 0;) {
                auto n = static_cast<size_t>(std::min<std::uint64_t>(left, block->size()));
                if (!send_all(fd, std::string_view(block->data(), n)))
                    return;
                left -= n;
            }
        });
    }

    // Blocks until `count` stalled responses have sent their bytes.
    void wait_stalled(int count = 1) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stalled >= count; });
    }

    // How many requests asked for `path` (the path as sent, query included).
    int hits(const std::string& path) {
        std::lock_guard lock(mutex);
        auto it = counts.find(path);
        return it == counts.end() ? 0 : it->second;
    }

    static bool send_all(int fd, std::string_view data) {
        while (!data.empty()) {
            ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            data.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

  private:
    void accept_loop() {
        for (;;) {
            int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                std::lock_guard lock(mutex);
                if (stopping)
                    return;
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                return;
            }
            std::lock_guard lock(mutex);
            connections.emplace_back([this, fd] { serve(fd); });
        }
    }

    void serve(int fd) {
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                ::close(fd);
                return;
            }
            request.append(buf, static_cast<size_t>(n));
        }
        // "GET /path HTTP/1.1"
        auto first = request.find(' ');
        auto second = request.find(' ', first + 1);
        std::string path = request.substr(first + 1, second - first - 1);
        handler h;
        {
            std::lock_guard lock(mutex);
            ++counts[path];
            auto it = routes.find(path.substr(0, path.find('?')));
            if (it != routes.end())
                h = it->second;
        }
        if (h)
            h(fd);
        else
            send_all(fd,
                     "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        ::close(fd);
    }

    int listener = -1;
    std::uint16_t port_ = 0;
    std::thread acceptor;
    std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    int stalled = 0;
    std::map<std::string, handler> routes;
    std::map<std::string, int> counts;
    std::vector<std::thread> connections;
};

} // namespace tw::test
