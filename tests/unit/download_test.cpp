// The download worker against a real HTTP server on the loopback interface.
#include "core/catalogue/fetch.h"
#include "http_server.h"
#include "support.h"

#include <thread>

namespace tw {
namespace {

using namespace test;

class Download : public ::testing::Test {
  protected:
    http_server server;
    temp_dir dir;
    download_progress progress;
    fs::path target() const { return dir / "Lantern Hall.z5"; }

    fetch_result fetch(const std::string& path, const fetch_options& opts = {}) {
        return fetch_to_file(server.url(path), target(), progress, opts);
    }
    // After any failure: no file under the game's name, no temporary file.
    void expect_nothing_left() { EXPECT_TRUE(fs::is_empty(dir.path())); }
};

// A body with no length given, as the IF Archive sends it: test_catalogue.
TEST_F(Download, TheWholeBodyLandsUnderTheGamesName) {
    auto body = pattern_bytes(3 * 1024 * 1024 + 17);
    server.answer("/lantern.z5", 200, body);
    auto result = fetch("/lantern.z5");
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(progress.state(), download_state::completed);
    EXPECT_EQ(progress.percent(), 100);
    EXPECT_EQ(read_file(target()), body);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
}

TEST_F(Download, RedirectsAreFollowedButOnlyToTheWeb) {
    server.answer("/lantern.z5", 200, "story");
    server.answer("/old", 301, "", "Location: /lantern.z5\r\n");
    EXPECT_TRUE(fetch("/old").ok());
    EXPECT_EQ(read_file(target()), "story");
    fs::remove(target());
    for (int hop = 0; hop < 11; ++hop)
        server.answer("/hop" + std::to_string(hop), 302, "",
                      "Location: /hop" + std::to_string(hop + 1) + "\r\n");
    server.answer("/hop11", 200, "too far");
    EXPECT_FALSE(fetch("/hop0").ok());
    server.answer("/file", 302, "", "Location: file:///etc/passwd\r\n");
    EXPECT_FALSE(fetch("/file").ok());
    expect_nothing_left();
}

// An error page (404) is a failure that says why: test_catalogue.
TEST_F(Download, EmptyBodiesBrokenConnectionsAndMissingFoldersAreFailures) {
    server.answer("/empty", 200, "");
    EXPECT_EQ(fetch("/empty").message, "The server sent an empty file.");
    EXPECT_EQ(progress.state(), download_state::failed);
    server.answer("/short", 200, "only this", "Content-Length: 1000\r\n", false);
    EXPECT_FALSE(fetch("/short").ok());
    EXPECT_FALSE(fetch_to_file("gopher://127.0.0.1/x", target(), progress).ok());
    expect_nothing_left();
    server.answer("/lantern.z5", 200, "story");
    EXPECT_FALSE(fetch_to_file(server.url("/lantern.z5"), dir / "missing/x.z5", progress).ok());
}

TEST_F(Download, ACancelStopsAStalledTransferAtOnce) {
    server.stall("/stall", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nsome");
    std::thread canceller([&] {
        server.wait_stalled();
        progress.cancel();
    });
    auto result = fetch("/stall");
    canceller.join();
    EXPECT_EQ(result.state, download_state::cancelled);
    expect_nothing_left();
}

TEST_F(Download, AStalledTransferGivesUp) {
    server.stall("/stall", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nsome");
    fetch_options quick;
    quick.low_speed_time = std::chrono::seconds(1);
    EXPECT_EQ(fetch("/stall", quick).state, download_state::failed);
    expect_nothing_left();
}

} // namespace
} // namespace tw
