#include "core/story/transcript.h"

#include "core/platform/platform.h"
#include "core/text/utf8.h"

#include <ctime>

namespace tw {

transcript::transcript(const std::filesystem::path& folder, const std::filesystem::path& story)
    : where(folder / (story.stem().native() + std::filesystem::path(" transcript.txt").native())) {
    file.reset(open_for_append(where));
    std::time_t now = std::time(nullptr);
    char date[64] = "";
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", std::localtime(&now));
    write("\n==== " + utf8_of(story.stem()) + ", " + date + " ====\n");
}

void transcript::write(std::string_view text) {
    if (!file || text.empty())
        return;
    // Each piece goes to the disk as it comes.
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
        std::fflush(file.get()) != 0)
        file.reset();
    else
        at_line_start = text.back() == '\n';
}

void transcript::add_output(std::string_view text) {
    write(text);
}

void transcript::add_command(std::string_view command) {
    write((at_line_start ? "" : "\n") + command_lines(command));
}

std::string command_lines(std::string_view command) {
    std::string lines;
    for (size_t start = 0;;) {
        size_t end = command.find('\n', start);
        lines += ">";
        lines += command.substr(start, end - start);
        lines += "\n";
        if (end == std::string_view::npos)
            return lines;
        start = end + 1;
    }
}

} // namespace tw
