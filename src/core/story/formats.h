#pragma once
// The story formats Tallowick knows, one row each, and the one place that
// knows how they differ: what the player calls each, its file names, how its
// files are told from every other by their bytes, where a Blorb keeps its
// game, how its saves name their game, which interpreter plays it, and the
// files that travel with a game. The file dialog, the desktop's file types,
// unpacking a zip, choosing the interpreter and the restore list all read it.
// A new format is one row here and one interpreter kind.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

using file_bytes = std::span<const unsigned char>;

// How a format's saves name the game they were saved from.
struct save_header {
    // Whether `save` begins as this format's saves begin; none: its saves
    // have no mark of their own.
    bool (*is_one)(file_bytes save) = nullptr;
    // Whether `save` was saved from `story` (the game's own bytes, out of
    // its Blorb); none: a save of this format does not say.
    bool (*fits)(file_bytes save, file_bytes story) = nullptr;
};

// Files that travel with a game, and that unpacking a zip keeps with it.
struct companion_files {
    // Extensions of files named as the story is (X.gfx beside X.mag), which
    // its interpreter finds by that name.
    std::vector<std::string_view> named_as_story;
    // Files beside it with no extension are its resources, opened by the
    // names the game's own code gives them.
    bool named_by_game = false;
    // The game comes in parts whose names differ from the story's in their
    // last digit (gamedat1.dat, gamedat2.dat), which its interpreter counts.
    bool numbered_parts = false;
};

// How a file travels with a game's story file: not at all, named as the
// story is, as a resource the game names, or as another of its numbered
// parts (companion_of).
enum class companion_kind { none, named_as_story, named_by_game, numbered_part };

struct story_format {
    std::string_view name; // for the player: "Z-code", "TADS 3"
    // Lower case, without the dot.
    std::vector<std::string_view> extensions;
    // Whether a file's bytes (all of them; a Blorb's game alone) are a game
    // of this format. None: no check tells it, and a file is taken as one
    // by its extension, once every check has said no.
    bool (*check)(file_bytes story) = nullptr;
    std::string_view blorb_chunk; // the chunk of its game in a Blorb; empty: none
    // The interpreter that plays it (interpreter_for); empty: none yet.
    std::string_view program;
    std::string_view mime_type; // the desktop's name for its files
    save_header saves;
    companion_files companions;
};

// Every format, in the order their checks are tried: the strictest first,
// so that a loose check (Z-code's version byte) never takes a file that a
// stricter one would have known.
std::span<const story_format> story_formats();

// A Blorb holds a game of any format with a Blorb chunk; its own file type
// and the extensions that name no format.
inline constexpr std::string_view blorb_mime_type = "application/x-blorb";
inline constexpr std::string_view blorb_extensions[] = {"blb", "blorb"};

// Whether `extension` (without the dot, any case) names a story file of
// any format, or a Blorb.
bool is_story_extension(std::string_view extension);

// How the file `stem`.`extension` travels with the story file
// `story_stem`.`story_extension` of `format`, beside it (extensions lower
// case, without the dot).
companion_kind companion_of(const story_format& format, std::string_view story_stem,
                            std::string_view story_extension, std::string_view stem,
                            std::string_view extension);

// Extensions that other kinds of file use too (Intel HEX, data files,
// snapshots): the desktop knows these stories by their bytes alone.
bool is_shared_extension(std::string_view extension);

// "a Z-code", "an ADRIFT 5": the format's name with its article.
std::string with_article(const story_format& format);

// The file dialog's choices: every story first ("Games"), then the files
// of each format that Tallowick plays, by the format's name.
struct file_filter {
    std::string label;
    std::vector<std::string_view> extensions;
};
std::vector<file_filter> story_file_filters();

// The most a story file may hold: far above any game, far below what fills
// memory, which reading it to know it takes.
inline constexpr std::uintmax_t story_size_limit = 256ull << 20;

} // namespace tw
