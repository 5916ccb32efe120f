#pragma once
// What the unit tests (the Glk library's too) share: scratch folders, the
// fake interpreter and the bytes it writes, files in and out, Blorbs.
#include "tools/pattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

// A test's designated initializers name only what its case sets; GCC before
// 14 warns of the members left to their defaults all the same.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace tw::test {

namespace fs = std::filesystem;

inline const fs::path binary_dir = TALLOWICK_BINARY_DIR;
#ifdef _WIN32
inline const std::string exe = ".exe";
#else
inline const std::string exe;
#endif
inline const fs::path fake_interpreter = binary_dir / ("fake_interpreter" + exe);
inline const fs::path our_dfrotz = binary_dir / ("dfrotz" + exe);

// A folder of its own for one test, removed with it.
class temp_dir {
  public:
    temp_dir() {
        std::random_device random;
        do
            path_ = fs::temp_directory_path() / ("tallowick-test-" + std::to_string(random()));
        while (!fs::create_directory(path_));
    }
    ~temp_dir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const fs::path& p) const { return path_ / p; }

  private:
    fs::path path_;
};

inline std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// The names of what `dir` holds, sorted.
inline std::vector<std::string> names_in(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string big_endian(uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

// A chunk of an IFF file (Blorb, Quetzal), padded to an even length.
inline std::string iff_chunk(const std::string& type, const std::string& data) {
    return type + big_endian(static_cast<uint32_t>(data.size())) + data +
           std::string(data.size() % 2, '\0');
}

#ifndef _WIN32
// From now on every file this process has open under `folder` writes to
// /dev/full: as on a full disk, what is written fails with ENOSPC.
inline void fill_disk_under(const fs::path& folder) {
    int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    std::error_code ec;
    for (auto& fd : fs::directory_iterator("/proc/self/fd")) {
        auto target = fs::read_symlink(fd.path(), ec);
        if (!ec && target.parent_path() == fs::canonical(folder))
            ::dup2(full, std::stoi(fd.path().filename().string()));
    }
    ::close(full);
}
#endif

// One chunk of a Blorb; a resource when it has a usage ("Pict", "Data", "Exec").
struct blorb_chunk {
    std::string type;
    std::string data;
    std::string usage = "";
    uint32_t number = 0;
};
inline std::string make_blorb(const std::vector<blorb_chunk>& chunks) {
    size_t resources = 0;
    for (auto& c : chunks)
        resources += !c.usage.empty();
    std::string index = big_endian(static_cast<uint32_t>(resources));
    std::string body;
    // FORM header (12 bytes) and the index chunk come first.
    size_t at = 12 + 8 + 4 + 12 * resources;
    for (auto& c : chunks) {
        if (!c.usage.empty())
            index += c.usage + big_endian(c.number) + big_endian(static_cast<uint32_t>(at));
        std::string bytes = iff_chunk(c.type, c.data);
        at += bytes.size();
        body += bytes;
    }
    return iff_chunk("FORM", "IFRS" + iff_chunk("RIdx", index) + body);
}

// The argument vector that runs the fake interpreter in `mode`.
inline std::vector<std::string> fake(std::vector<std::string> mode) {
    mode.insert(mode.begin(), fake_interpreter.string());
    return mode;
}

} // namespace tw::test
