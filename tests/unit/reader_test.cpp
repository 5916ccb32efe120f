// read_game() against tests/tools/fake-interpreter over real pipes: what
// reaches `say` and the pump, in order, and how the reader ends.
#include "game/process.h"
#include "game/reader.h"
#include "game/segmenter.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

namespace tw {
namespace {

namespace fs = std::filesystem;

const std::string fake = TALLOWICK_SOURCE_DIR "/tests/tools/fake-interpreter";

struct temp_dir {
    fs::path path;
    temp_dir() {
        std::string pattern = (fs::temp_directory_path() / "tallowick-reader-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        if (!made)
            throw std::runtime_error("mkdtemp failed");
        path = made;
    }
    ~temp_dir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::string pattern_bytes(size_t n) {
    std::string s;
    char line[64];
    for (int k = 0; s.size() < n; ++k) {
        std::snprintf(line, sizeof line, "%07d the quick brown fox\n", k);
        s += line;
    }
    s.resize(n);
    return s;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string s;
    for (const auto& p : parts)
        s += p;
    return s;
}

// One game run: the fake in `mode`, `input` written to it up front, and
// read_game() on a reader thread of its own until the output ends.
struct run {
    std::vector<std::string> said;
    std::vector<std::string> raws;
    bool closed = false;
    std::string stderr_text;
    int wakes = 0;
    int status = -1;
    std::thread::id said_on;
};

run play(std::vector<std::string> args, const std::string& input = "") {
    temp_dir dir;
    launch_options opts;
    opts.argv = {"/usr/bin/python3", fake};
    opts.argv.insert(opts.argv.end(), args.begin(), args.end());
    opts.env = {"PYTHONUNBUFFERED=1"};
    opts.cwd = dir.path.string();
    std::string error;
    auto child = child_process::start(opts, error);
    EXPECT_TRUE(child) << error;
    run r;
    if (!child) {
        return r;
    }
    if (!input.empty()) {
        EXPECT_TRUE(child->write(input));
    }

    // The pump's wake-up stands in for the post to the GUI thread.
    std::mutex mutex;
    std::condition_variable cv;
    bool woken = false;
    int wakes = 0;
    output_pump pump([&] {
        std::lock_guard lock(mutex);
        woken = true;
        ++wakes;
        cv.notify_one();
    });
    std::thread reader([&] {
        read_game(*child, pump, [&](const std::string& text) {
            r.said.push_back(text);
            r.said_on = std::this_thread::get_id();
        });
    });
    // Take batches as the GUI thread would, while the reader runs.
    for (;;) {
        {
            std::unique_lock lock(mutex);
            cv.wait(lock, [&] { return woken; });
            woken = false;
        }
        auto b = pump.take();
        r.raws.insert(r.raws.end(), b.raws.begin(), b.raws.end());
        if (b.closed) {
            r.closed = true;
            r.stderr_text = b.stderr_text;
            break;
        }
    }
    auto reader_id = reader.get_id();
    reader.join();
    if (!r.said.empty()) {
        EXPECT_EQ(r.said_on, reader_id) << "say runs on the reader thread";
    }
    r.wakes = wakes;
    r.status = child->wait();
    return r;
}

std::vector<std::string> cleaned(const std::vector<std::string>& raws) {
    std::vector<std::string> out;
    for (const auto& raw : raws) {
        std::string c = clean_segment(raw);
        if (!c.empty())
            out.push_back(c);
    }
    return out;
}

TEST(reader, segments_arrive_in_order_and_are_spoken_clean) {
    auto r = play({"echo"}, "look\ngo north\nquit\n");
    EXPECT_EQ(r.status, 0);
    ASSERT_TRUE(r.closed);
    EXPECT_EQ(r.stderr_text, "");
    EXPECT_GE(r.wakes, 1);
    EXPECT_EQ(joined(r.raws), "\n>You said: look.\n\n>You said: go north.\n\n>");
    std::vector<std::string> expected_raws = {
        "\n", ">", "You said: look.", "\n", "\n", ">", "You said: go north.", "\n", "\n", ">"};
    EXPECT_EQ(r.raws, expected_raws);
    std::vector<std::string> expected_said = {"You said: look.\n", "You said: go north.\n"};
    EXPECT_EQ(r.said, expected_said);
}

TEST(reader, bad_bytes_do_not_stop_the_reader) {
    auto r = play({"badbytes"});
    EXPECT_EQ(r.status, 0);
    std::string text = joined(r.said);
    EXPECT_NE(text.find("West of House.\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\xEF\xBF\xBD"), std::string::npos) << "U+FFFD for the invalid bytes";
    EXPECT_EQ(text.find('\0'), std::string::npos);
    EXPECT_NE(text.find("A NULhere"), std::string::npos) << text;
    EXPECT_NE(text.find("Split \xE2\x82\xAC sign.\n"), std::string::npos) << text;
    ASSERT_FALSE(r.said.empty());
    EXPECT_EQ(r.said.back(), "The mailbox is closed.\n");
    EXPECT_EQ(r.said, cleaned(r.raws));
}

TEST(reader, pump_is_closed_with_the_stderr_text) {
    auto r = play({"stderr", "5000"});
    EXPECT_EQ(r.status, 3);
    ASSERT_TRUE(r.closed);
    EXPECT_EQ(r.stderr_text, pattern_bytes(5000));
    EXPECT_TRUE(r.raws.empty());
    EXPECT_TRUE(r.said.empty());
}

TEST(reader, stderr_beyond_the_limit_is_drained_and_dropped) {
    auto r = play({"stderr", std::to_string(2 * stderr_limit)});
    EXPECT_EQ(r.status, 3);
    ASSERT_TRUE(r.closed);
    EXPECT_EQ(r.stderr_text.size(), stderr_limit);
    EXPECT_TRUE(r.stderr_text == pattern_bytes(stderr_limit));
}

TEST(reader, half_a_sentence_before_a_crash_is_still_spoken) {
    auto r = play({"crash"});
    EXPECT_EQ(r.status, 128 + 9);
    ASSERT_TRUE(r.closed);
    ASSERT_FALSE(r.raws.empty());
    EXPECT_EQ(r.raws.back(), "The troll swings his ax");
    ASSERT_FALSE(r.said.empty());
    EXPECT_EQ(r.said.back(), "The troll swings his ax\n");
}

TEST(reader, text_without_a_cut_comes_out_whole_at_the_end) {
    auto r = play({"nocut", "100000"});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.raws.size(), 1u);
    EXPECT_EQ(r.raws[0].size(), 100000u);
    ASSERT_EQ(r.said.size(), 1u);
}

TEST(reader, a_flood_arrives_whole_and_in_order) {
    constexpr size_t size = 2 << 20;
    auto r = play({"flood", std::to_string(size)});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(joined(r.raws) == pattern_bytes(size));
    EXPECT_EQ(r.said, cleaned(r.raws));
}

TEST(reader, a_sequence_split_across_writes_is_decoded_whole) {
    auto r = play({"trickle", "Caf\xC3\xA9 au lait. \xE2\x82\xAC"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(joined(r.raws), "Caf\xC3\xA9 au lait. \xE2\x82\xAC");
}

} // namespace
} // namespace tw

namespace tw {

TEST(reader, a_question_the_game_waits_on_is_spoken_before_the_answer) {
    launch_options opts;
    opts.argv = {"/usr/bin/python3", fake, "ask", "Overwrite existing file? "};
    opts.env = {"PYTHONUNBUFFERED=1"};
    std::string error;
    auto child = child_process::start(opts, error);
    ASSERT_TRUE(child) << error;
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::string> said;
    output_pump pump([] {});
    std::thread reader([&] {
        read_game(*child, pump, [&](const std::string& text) {
            std::lock_guard lock(mutex);
            said.push_back(text);
            cv.notify_one();
        });
    });
    {
        // Nothing is answered until the question has been heard; the bound
        // only keeps a broken reader from hanging the suite.
        std::unique_lock lock(mutex);
        EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return !said.empty(); }));
        EXPECT_EQ(said, std::vector<std::string>{"Overwrite existing file? \n"});
    }
    child->write("y\n");
    reader.join();
    EXPECT_EQ(said.back(), "answer y\n");
}

} // namespace tw
