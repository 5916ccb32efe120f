#pragma once
// What a story file is, told from its bytes by the table of formats rather
// than by its name, and whether a saved game can be restored in it.
#include "core/story/formats.h"

#include <filesystem>
#include <optional>
#include <string>

namespace tw {

struct story_check {
    const story_format* format = nullptr; // none: nothing Tallowick has plays it
    // When none: a sentence for the player that names the file and says why.
    std::string problem;
};

// The format of the story whose bytes are `story`, named `name` (its name
// names it to the player, and its extension tells the formats that have no
// check of their own).
story_check identify_story(file_bytes story, const std::string& name);
story_check check_story(const std::filesystem::path& story);

// Whether the saved game `save` can be restored in `story`, as far as saves
// say which game they belong to (the table's save headers): none when it
// can, or cannot be told; otherwise a sentence for the player that says why
// not.
std::optional<std::string> save_misfit(const std::filesystem::path& save,
                                       const std::filesystem::path& story);

} // namespace tw
