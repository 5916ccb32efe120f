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
    std::string text = "; Written by story_types from Tallowick's table of formats.\n";
    for (const auto& type : tw::story_file_types()) {
        // Quotes and NSIS's "$" would need escaping; our names have neither.
        for (const auto* field : {&type.extension, &type.key, &type.name})
            if (field->find_first_of("\"$") != std::string::npos) {
                std::fprintf(stderr, "story_types: cannot write %s\n", field->c_str());
                return 1;
            }
        text += "${story_type} \"" + type.extension + "\" \"" + type.key + "\" \"" + type.name +
                "\"\n";
    }
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
