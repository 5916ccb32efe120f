#pragma once
// The transcript of a game: everything shown, and every command sent, added
// to "<story> transcript.txt" in the save folder as the game goes, so that
// a crash loses at most the line being written.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace tw {

class transcript {
  public:
    // Opens (or creates) the transcript of `story` in `folder` and starts
    // this session with a dated header. A transcript that cannot be written
    // is not an error for the game: writing() tells.
    transcript(const std::filesystem::path& folder, const std::filesystem::path& story);

    void add_output(std::string_view text);
    // The command_lines() of `command`, on a line of their own.
    void add_command(std::string_view command);

    bool writing() const { return file != nullptr; }
    const std::filesystem::path& path() const { return where; }

  private:
    void write(std::string_view text);

    std::filesystem::path where;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{nullptr, std::fclose};
    bool at_line_start = true;
};

// `command` as the view and the transcript show it: each of its lines as
// ">" + the line, with its line end.
std::string command_lines(std::string_view command);

} // namespace tw
