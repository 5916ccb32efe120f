// The download worker against a real HTTP server on the loopback interface.
#include "catalogue/fetch.h"
#include "unit/http_server.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <thread>

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::http_server;

class temp_dir {
  public:
    temp_dir() {
        std::string pattern = (fs::temp_directory_path() / "tallowick-download-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp");
        path = pattern;
    }
    ~temp_dir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::set<std::string> names_in(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

std::string random_bytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng());
    return s;
}

// A closed port: bound once by us, then released, so nothing listens there.
std::uint16_t closed_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

class Download : public ::testing::Test {
  protected:
    http_server server;
    temp_dir dir;
    download_progress progress;
    fs::path target() const { return dir.path / "Lantern Hall.z5"; }

    fetch_result fetch(const std::string& path, const fetch_options& opts = {}) {
        return fetch_to_file(server.url(path), target(), progress, opts);
    }

    // After any failure: no file under the game's name and no temporary file.
    void expect_nothing_left() {
        EXPECT_FALSE(fs::exists(target()));
        EXPECT_TRUE(fs::is_empty(dir.path)) << *names_in(dir.path).begin();
    }
};

TEST_F(Download, BodyWithContentLength) {
    auto body = random_bytes(3 * 1024 * 1024 + 17, 1);
    server.body("/lantern.z5", body);
    auto result = fetch("/lantern.z5");
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(result.state, download_state::completed);
    EXPECT_EQ(result.http_status, 200);
    EXPECT_EQ(result.message, "");
    EXPECT_EQ(progress.state(), download_state::completed);
    EXPECT_EQ(progress.received(), body.size());
    EXPECT_EQ(progress.total(), body.size());
    EXPECT_EQ(progress.percent(), 100);
    EXPECT_EQ(read_file(target()), body);
    EXPECT_EQ(names_in(dir.path), std::set<std::string>{"Lantern Hall.z5"});
}

TEST_F(Download, BodyWithoutContentLength) {
    auto body = random_bytes(2 * 1024 * 1024 + 5, 2);
    server.body("/lantern.z5", body, false);
    auto result = fetch("/lantern.z5");
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(progress.state(), download_state::completed);
    EXPECT_EQ(progress.received(), body.size());
    EXPECT_EQ(progress.total(), 0u);
    EXPECT_EQ(progress.percent(), std::nullopt);
    EXPECT_EQ(read_file(target()), body);
    EXPECT_EQ(names_in(dir.path), std::set<std::string>{"Lantern Hall.z5"});
}

TEST_F(Download, SmallBody) {
    server.body("/tiny.z5", "x");
    auto result = fetch("/tiny.z5");
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(read_file(target()), "x");
}

TEST_F(Download, EmptyBodyIsAFailure) {
    // An empty story file could never be played; left in place it would be
    // taken for the game next time.
    server.body("/empty.z5", "");
    auto result = fetch("/empty.z5");
    EXPECT_EQ(result.state, download_state::failed);
    EXPECT_EQ(result.message, "The server sent an empty file.");
    EXPECT_EQ(progress.state(), download_state::failed);
    expect_nothing_left();

    server.body("/empty-unsized.z5", "", false);
    download_progress again;
    EXPECT_EQ(fetch_to_file(server.url("/empty-unsized.z5"), target(), again).state,
              download_state::failed);
    expect_nothing_left();
}

TEST_F(Download, NotFoundIsAFailure) {
    server.status("/missing.z5", 404, "<html>no such game</html>");
    auto result = fetch("/missing.z5");
    EXPECT_EQ(result.state, download_state::failed);
    EXPECT_EQ(result.http_status, 404);
    EXPECT_EQ(result.message, "The server answered with status 404.");
    EXPECT_EQ(progress.state(), download_state::failed);
    expect_nothing_left();
}

TEST_F(Download, ServerErrorIsAFailure) {
    server.status("/broken.z5", 500, "Internal trouble, a body of some length");
    auto result = fetch("/broken.z5");
    EXPECT_EQ(result.state, download_state::failed);
    EXPECT_EQ(result.http_status, 500);
    EXPECT_EQ(progress.state(), download_state::failed);
    expect_nothing_left();
}

TEST_F(Download, RedirectWithoutLocationIsAFailure) {
    server.status("/nowhere.z5", 302, "a body that is no story");
    auto result = fetch("/nowhere.z5");
    EXPECT_EQ(result.state, download_state::failed);
    EXPECT_EQ(result.message, "The server answered with status 302.");
    expect_nothing_left();
}

TEST_F(Download, FollowsRedirectChains) {
    auto body = random_bytes(100000, 3);
    server.redirect("/r1", server.url("/r2"), 301);
    server.redirect("/r2", "/r3", 302); // relative
    server.redirect("/r3", server.url("/final.z5?x=1"), 307);
    server.body("/final.z5", body);
    auto result = fetch("/r1");
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(result.http_status, 200);
    EXPECT_EQ(read_file(target()), body);
    EXPECT_EQ(progress.total(), body.size());
    EXPECT_EQ(progress.received(), body.size());
    EXPECT_EQ(server.hits("/final.z5?x=1"), 1);
    EXPECT_EQ(names_in(dir.path), std::set<std::string>{"Lantern Hall.z5"});
}

TEST_F(Download, TenRedirectsAreFollowedButNotEleven) {
    for (int i = 0; i < 11; ++i)
        server.redirect("/hop" + std::to_string(i), "/hop" + std::to_string(i + 1));
    server.body("/hop11", "story");
    server.body("/hop10", "story10"); // overrides: /hop10 is the end of a ten-hop chain
    auto ten = fetch("/hop0");
    EXPECT_TRUE(ten.ok()) << ten.message;
    EXPECT_EQ(read_file(target()), "story10");
    fs::remove(target());

    server.redirect("/loop", "/loop");
    download_progress again;
    auto loop = fetch_to_file(server.url("/loop"), target(), again);
    EXPECT_EQ(loop.state, download_state::failed);
    EXPECT_EQ(server.hits("/loop"), 11);
    expect_nothing_left();
}

TEST_F(Download, RedirectToFileIsRefused) {
    server.redirect("/sneaky.z5", "file:///etc/passwd");
    auto result = fetch("/sneaky.z5");
    EXPECT_EQ(result.state, download_state::failed);
    EXPECT_EQ(progress.state(), download_state::failed);
    expect_nothing_left();
}

TEST_F(Download, RedirectToFtpIsRefused) {
    server.redirect("/sneaky.z5", "ftp://127.0.0.1:" + std::to_string(server.port()) + "/x");
    auto result = fetch("/sneaky.z5");
    EXPECT_EQ(result.state, download_state::failed);
    expect_nothing_left();
}

TEST_F(Download, OnlyHttpAndHttpsAreAllowedAtAll) {
    for (std::string uri : {"file:///etc/passwd", "ftp://127.0.0.1/x.z5", "gopher://127.0.0.1/x",
                            "dict://127.0.0.1/x", "not a uri"}) {
        download_progress p;
        auto result = fetch_to_file(uri, target(), p);
        EXPECT_EQ(result.state, download_state::failed) << uri;
        EXPECT_EQ(p.state(), download_state::failed) << uri;
        EXPECT_FALSE(result.message.empty());
        expect_nothing_left();
    }
}

TEST_F(Download, ConnectionResetMidBody) {
    server.reset_mid_body("/cut.z5", 1000000, random_bytes(50000, 4));
    auto result = fetch("/cut.z5");
    EXPECT_EQ(result.state, download_state::failed);
    EXPECT_EQ(progress.state(), download_state::failed);
    expect_nothing_left();
}

TEST_F(Download, ConnectionRefused) {
    download_progress p;
    auto uri = "http://127.0.0.1:" + std::to_string(closed_port()) + "/x.z5";
    auto result = fetch_to_file(uri, target(), p);
    EXPECT_EQ(result.state, download_state::failed);
    EXPECT_EQ(result.http_status, 0);
    expect_nothing_left();
}

TEST_F(Download, StalledBodyTimesOut) {
    server.stall("/slow.z5", 1000000, random_bytes(1000, 5));
    // libcurl averages the speed over the last few seconds, so the first
    // 1000 bytes would keep a 1 byte/s limit satisfied for a while; a high
    // limit makes the stall count at once.
    fetch_options opts;
    opts.low_speed_limit = 1000000;
    opts.low_speed_time = std::chrono::seconds(1);
    auto result = fetch("/slow.z5", opts);
    EXPECT_EQ(result.state, download_state::failed);
    EXPECT_EQ(progress.state(), download_state::failed);
    EXPECT_EQ(progress.total(), 1000000u);
    expect_nothing_left();
}

TEST_F(Download, CancelDuringAStallStopsTheTransfer) {
    server.stall("/slow.z5", 1000000, random_bytes(1000, 6));
    fetch_result result;
    // The default low-speed time (60 s) is far away: only the cancel can end
    // this transfer as "cancelled".
    std::thread worker([&] { result = fetch("/slow.z5"); });
    server.wait_stalled();

    // While it runs the body goes to a hidden temporary file beside the
    // target, never under the game's name.
    auto names = names_in(dir.path);
    ASSERT_EQ(names.size(), 1u);
    const std::string& temp = *names.begin();
    EXPECT_EQ(temp.rfind(".Lantern Hall.z5.part-", 0), 0u) << temp;
    EXPECT_EQ(temp.size(), std::string(".Lantern Hall.z5.part-").size() + 6);
    EXPECT_EQ(progress.state(), download_state::running);

    progress.cancel();
    worker.join();
    EXPECT_EQ(result.state, download_state::cancelled);
    EXPECT_EQ(progress.state(), download_state::cancelled);
    expect_nothing_left();
}

TEST_F(Download, CancelBeforeTheStart) {
    server.body("/lantern.z5", "story");
    progress.cancel();
    auto result = fetch("/lantern.z5");
    EXPECT_EQ(result.state, download_state::cancelled);
    EXPECT_EQ(progress.state(), download_state::cancelled);
    EXPECT_EQ(server.hits("/lantern.z5"), 0);
    expect_nothing_left();
}

TEST_F(Download, MissingDirectoryIsAFailure) {
    server.body("/lantern.z5", "story");
    auto result =
        fetch_to_file(server.url("/lantern.z5"), dir.path / "no" / "such" / "x.z5", progress);
    EXPECT_EQ(result.state, download_state::failed);
    EXPECT_NE(result.message.find("could not be created"), std::string::npos) << result.message;
    EXPECT_EQ(server.hits("/lantern.z5"), 0);
    EXPECT_TRUE(fs::is_empty(dir.path));
}

TEST_F(Download, NonAsciiTargetName) {
    server.body("/c.z8", "chateau");
    auto where = dir.path / fs::path(u8"Château Noir.z8");
    auto result = fetch_to_file(server.url("/c.z8"), where, progress);
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(read_file(where), "chateau");
    EXPECT_EQ(names_in(dir.path), std::set<std::string>{"Château Noir.z8"});
}

TEST(DownloadProgress, PercentIsTrueAndClamped) {
    download_progress p;
    EXPECT_EQ(p.percent(), std::nullopt);
    EXPECT_EQ(p.state(), download_state::running);
    p.set_total(200);
    EXPECT_EQ(p.percent(), 0);
    p.add_received(1);
    EXPECT_EQ(p.percent(), 0);
    p.add_received(100);
    EXPECT_EQ(p.percent(), 50);
    p.add_received(98);
    EXPECT_EQ(p.percent(), 99);
    p.add_received(1);
    EXPECT_EQ(p.percent(), 100);
    p.add_received(1000);
    EXPECT_EQ(p.percent(), 100);
    p.set_total(0);
    EXPECT_EQ(p.percent(), std::nullopt);
    // Large sizes do not overflow.
    p.set_total(std::uint64_t(1) << 60);
    EXPECT_EQ(p.percent(), 0);
}

TEST(DownloadProgress, CancelCallsTheWakerOnce) {
    download_progress p;
    int woken = 0;
    p.set_waker([&] { ++woken; });
    EXPECT_FALSE(p.cancel_requested());
    p.cancel();
    EXPECT_TRUE(p.cancel_requested());
    EXPECT_EQ(woken, 1);
    p.set_waker({});
    p.cancel();
    EXPECT_EQ(woken, 1);
    EXPECT_EQ(p.state(), download_state::running); // cancel is a request, not a state
}

} // namespace
} // namespace tw
