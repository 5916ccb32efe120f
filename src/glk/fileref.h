#pragma once
// A file reference: a path (relative to the working directory for names
// the game or the player gave) and its usage.
#include "glk/glk_api.h"

#include <filesystem>
#include <string>

struct glk_fileref_struct {
    glk_fileref_struct(std::filesystem::path path, glui32 usage, glui32 rock)
        : path(std::move(path)), usage(usage), rock(rock) {}

    const std::filesystem::path path;
    const glui32 usage;
    const glui32 rock;
    size_t list_index = 0;
    gidispatch_rock_t dispatch_rock{};
    // Its absolute path as fopen() takes it, once asked for.
    std::string stdio_name;

    bool text_mode() const { return (usage & fileusage_TextMode) != 0; }
};
