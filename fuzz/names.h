#pragma once
// The rules every derived story file name obeys, checked for one name and,
// through locate_game, for the path it becomes under a save directory.
#include "common.h"

#include "core/catalogue/file_names.h"
#include "core/text/utf8.h"

#include <filesystem>

namespace fuzz {

inline bool ascii_alnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline void check_extension(std::string_view uri) {
    auto ext = tw::uri_extension(uri);
    FUZZ_CHECK(ext.size() <= 10);
    for (char c : ext)
        FUZZ_CHECK(ascii_alnum(c));
}

inline bool ends_with_ci(std::string_view s, std::string_view end) {
    if (s.size() < end.size())
        return false;
    s = s.substr(s.size() - end.size());
    for (size_t i = 0; i < s.size(); ++i) {
        auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(s[i]) != lower(end[i]))
            return false;
    }
    return true;
}

inline void check_file_name(std::string_view name, std::string_view uri) {
    FUZZ_CHECK(!name.empty());
    FUZZ_CHECK(name != "." && name != "..");
    FUZZ_CHECK(name.front() != '.');
    FUZZ_CHECK(name.size() <= tw::max_file_name);
    FUZZ_CHECK(valid_utf8(name));
    for (uint32_t cp : code_points(name)) {
        FUZZ_CHECK(cp != '/' && cp != '\\');
        // C0, DEL and C1 control characters.
        FUZZ_CHECK(cp >= 0x20 && cp != 0x7F && !(cp >= 0x80 && cp <= 0x9F));
        // What Windows reserves.
        FUZZ_CHECK(cp > 0x7F || std::string_view(":*?\"<>|").find(static_cast<char>(cp)) ==
                                    std::string_view::npos);
    }
    // Windows drops trailing dots and spaces, so the name on disk would
    // differ from the one the program tests for (regressions/filename_fuzz/
    // cap-trailing-space*: a device name's "_" pushed past the cap).
    FUZZ_CHECK(name.back() != '.' && name.back() != ' ');
    // The story keeps the extension of the address it came from, even when
    // the title is cut to the cap (cap-extension-kept*).
    auto ext = tw::uri_extension(uri);
    if (!ext.empty())
        FUZZ_CHECK(ends_with_ci(name, "." + ext));
}

// `entry` comes from a catalogue or is made up; `savepath` is where stories
// are saved, absolute or relative.
inline void check_location(const tw::catalogue_entry& entry,
                           const std::filesystem::path& savepath) {
    auto where = tw::locate_game(entry, savepath);
    if (!entry.uri) {
        FUZZ_CHECK(!where.ok());
        FUZZ_CHECK(where.path.empty());
    }
    if (!where.ok()) {
        FUZZ_CHECK(valid_utf8(where.error));
        return;
    }
    FUZZ_CHECK(where.uri == *entry.uri);
    FUZZ_CHECK(where.file == tw::local_file_name(entry.title, *entry.uri));
    check_file_name(where.file, *entry.uri);
    // Directly inside the save directory, whatever the name holds.
    FUZZ_CHECK(where.path.parent_path() == savepath);
    FUZZ_CHECK(where.path.filename() == tw::path_from_utf8(where.file));
    FUZZ_CHECK(where.path.lexically_normal() == where.path);
    FUZZ_CHECK(where.path.lexically_normal().parent_path() == savepath);
    FUZZ_CHECK(std::filesystem::path(where.path).lexically_relative(savepath) ==
               tw::path_from_utf8(where.file));
}

} // namespace fuzz
