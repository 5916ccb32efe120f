#pragma once
// The story inside a zip file, as many games come from the IF Archive,
// unpacked with minizip, with the files that travel with it (the table of
// formats names them). Names inside the archive choose the story and give
// its extension; they are never a path: the story is written under a name
// we make, directly in the folder asked for.
#include "core/story/formats.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct unpacked_story {
    std::filesystem::path story; // where the story now is; empty on failure
    std::string note;            // for the player, when a choice was made
    std::string problem;         // why it failed, for the player
};

// The most a story inside an archive may hold (as Tallowick reads any
// story), and the most entries an archive may list: far above any game, far
// below what fills a disk.
inline constexpr std::uintmax_t unpacked_story_limit = story_size_limit;
inline constexpr std::uint64_t archive_entry_limit = 100000;

// Unpacks the story of `archive` into `folder` as `stem` + its extension:
// the one story file in it; or, of several, the one named like `names_like`
// (the game's title or the archive's own name), else the largest, which
// `note` then tells. The files that its format says travel with it, from
// the same folder of the archive, go beside it: those named as the story is
// under `stem` too, a game's numbered parts as "<stem> <digit>", resources
// the game names itself under their own names. Written beside and renamed
// into place, so that nothing half-unpacked is ever left under the story's
// name. A file of more than `limit` bytes, whatever the archive claims, is
// refused.
unpacked_story unpack_story(const std::filesystem::path& archive,
                            const std::filesystem::path& folder, const std::string& stem,
                            const std::vector<std::string>& names_like,
                            std::uintmax_t limit = unpacked_story_limit);

// The story an earlier unpack left in `folder` for `stem`, if any.
std::optional<std::filesystem::path> unpacked_before(const std::filesystem::path& folder,
                                                     const std::string& stem);

} // namespace tw
