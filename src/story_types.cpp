// Writes the story file types (core/story/file_types.h) as lines of the
// Windows installer's script, one `${story_type}` line an extension, for
// data/tallowick.nsi to register them and take them away again:
//   story_types OUTPUT
#include "core/platform/platform.h"
#include "core/story/file_types.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: story_types OUTPUT\n", stderr);
        return 2;
    }
    // In NSIS's strings "$" is written "$$" (AGT's ".d$$"); no name of ours
    // holds a quote.
    auto quoted = [](const std::string& field) {
        std::string out = " \"";
        for (char c : field)
            out += c == '$' ? "$$" : std::string(1, c);
        return out + '"';
    };
    std::string text = "; Written by story_types from Tallowick's table of formats.\n";
    for (const auto& type : tw::story_file_types())
        text += "${story_type}" + quoted(type.extension) + quoted(type.key) + quoted(type.name) + "\n";
    const std::filesystem::path output(argv[1]);
    std::error_code ec;
    std::filesystem::remove(output, ec);
    std::FILE* out = tw::create_new_file(output);
    bool written = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (!out || std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "story_types: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
