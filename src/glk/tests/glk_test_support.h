#pragma once
// What the Glk library's tests share beside what every unit test does
// (tests/support.h): pictures, and runs of a Glk program fed a script of
// display events.
#include "support.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace tw::glk::test {

using namespace tw::test;
using json = nlohmann::ordered_json;

// A PNG's signature and header: enough to be measured.
inline std::string png_header(uint32_t width, uint32_t height) {
    return std::string("\x89PNG\r\n\x1a\n", 8) + big_endian(13) + "IHDR" + big_endian(width) +
           big_endian(height) + std::string("\x08\x02\0\0\0", 5) + big_endian(0);
}

// Tallowick's init event: 80 by 50 character cells.
inline json init_event() {
    return json{{"type", "init"},
                {"gen", 0},
                {"metrics", {{"width", 80}, {"height", 50}, {"charwidth", 1}, {"charheight", 1}}},
                {"support", {"timer", "graphics", "sounds", "hyperlinks"}}};
}

// The events, one a line.
inline std::string lines(const std::vector<json>& events) {
    std::string text;
    for (auto& event : events)
        text += event.dump() + "\n";
    return text;
}

inline std::string quoted(const std::string& text) {
#ifdef _WIN32
    return '"' + text + '"';
#else
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
#endif
}

struct run_result {
    int status = -1;
    std::vector<json> updates; // every line the program wrote
};
// Runs `program` in `folder` with `arguments`, its input `input` (the
// display's events), until it ends.
inline run_result run_program(const fs::path& program, const std::vector<std::string>& arguments,
                              const std::string& input, const fs::path& folder) {
    write_file(folder / "events.json", input);
    std::string command = "cd " + quoted(folder.string()) + " && " + quoted(program.string());
    for (auto& argument : arguments)
        command += " " + quoted(argument);
    command += " < events.json > updates.json";
#ifdef _WIN32
    command = "cd /d " + command.substr(3);
#endif
    run_result result;
    int status = std::system(command.c_str());
#ifdef _WIN32
    result.status = status;
#else
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    std::istringstream output(read_file(folder / "updates.json"));
    for (std::string line; std::getline(output, line);) {
        auto update = json::parse(line, nullptr, false);
        EXPECT_FALSE(update.is_discarded()) << "not JSON: " << line;
        result.updates.push_back(std::move(update));
    }
    return result;
}

} // namespace tw::glk::test
