#pragma once
// What a story file is, told from its first bytes rather than its name: a
// Z-code story (dfrotz plays it), a Glulx story (glulxe plays it), either of
// them in a Blorb, or something neither can play.
#include <filesystem>
#include <string>

namespace tw {

enum class story_format { zcode, glulx, unplayable };

struct story_check {
    story_format format = story_format::unplayable;
    // For an unplayable file: a sentence for the player that names it and
    // says why.
    std::string problem;
};

story_check check_story(const std::filesystem::path& story);

} // namespace tw
