#pragma once
// What the Glk library's tests share beside what every unit test does
// (tests/support.h): pictures, and runs of a Glk program fed a script of
// display events.
#include "support.h"

#include <nlohmann/json.hpp>

#include <cstdint>

namespace tw::glk::test {

using namespace tw::test;
using json = nlohmann::ordered_json;

// A PNG's signature and header: enough to be measured.
std::string png_header(uint32_t width, uint32_t height);

// Tallowick's init event: 80 by 50 character cells, timer, graphics, sounds
// and hyperlinks.
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
