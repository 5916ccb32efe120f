#pragma once
// What the Glk library's tests share: scratch folders, Blorb files made to
// order, and runs of a Glk program fed a script of display events.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tw::glk::test {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

// A folder of its own for one test, removed with it.
class temp_dir {
  public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const fs::path& name) const { return path_ / name; }

  private:
    fs::path path_;
};

std::string read_file(const fs::path& path);
void write_file(const fs::path& path, const std::string& bytes);

// One chunk of a Blorb; a resource when it has a usage ("Pict", "Data", "Exec").
struct blorb_chunk {
    std::string type;
    std::string data;
    std::string usage = "";
    uint32_t number = 0;
};
std::string make_blorb(const std::vector<blorb_chunk>& chunks);
// A PNG's signature and header: enough to be measured.
std::string png_header(uint32_t width, uint32_t height);

// Tallowick's init event: 80 by 50 character cells, timer and graphics.
json init_event();

struct run_result {
    int status = -1;
    std::vector<json> updates; // every line the program wrote
};
// Runs `program` in `folder` with `arguments`, its input `input` (the
// display's events), until it ends.
run_result run_program(const fs::path& program, const std::vector<std::string>& arguments,
                       const std::string& input, const fs::path& folder);
// The events, one a line.
std::string lines(const std::vector<json>& events);

} // namespace tw::glk::test
