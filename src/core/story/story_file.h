#pragma once
// What a story file is, told from its first bytes rather than its name: a
// Z-code story (dfrotz plays it), a Glulx story (glulxe plays it), either of
// them in a Blorb, or something neither can play.
#include <filesystem>
#include <optional>
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

// Whether the saved game `save` can be restored in `story`: interpreters
// write saves in the Quetzal format, whose header names the game it was
// saved from (a Z-code story's release, serial and checksum; a Glulx
// story's first 128 bytes). None when it can; otherwise a sentence for the
// player that says why not.
std::optional<std::string> save_misfit(const std::filesystem::path& save,
                                       const std::filesystem::path& story);

} // namespace tw
