#pragma once
// What a story file is, told from its first bytes rather than its name: a
// Z-code story (dfrotz plays it), a Glulx story (glulxe plays it), either of
// them in a Blorb, or something neither can play.
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

enum class story_format { zcode, glulx, unplayable };

struct story_check {
    story_format format = story_format::unplayable;
    // For an unplayable file: a sentence for the player that names it and
    // says why.
    std::string problem;
};

story_check check_story(const std::filesystem::path& story);

// The extensions story files go by (without the dot), in the order an
// unpacked story is looked for; and whether `extension` (any case, also
// "blorb") is one of them.
inline constexpr std::array<std::string_view, 14> story_extensions = {
    "z1", "z2", "z3", "z4", "z5", "z6", "z7", "z8", "zblorb", "zlb", "ulx", "gblorb", "glb", "blb"};
bool is_story_extension(std::string_view extension);

// Whether the saved game `save` can be restored in `story`: interpreters
// write saves in the Quetzal format, whose header names the game it was
// saved from (a Z-code story's release, serial and checksum; a Glulx
// story's first 128 bytes). None when it can; otherwise a sentence for the
// player that says why not.
std::optional<std::string> save_misfit(const std::filesystem::path& save,
                                       const std::filesystem::path& story);

} // namespace tw
