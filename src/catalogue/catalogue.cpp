#include "catalogue/catalogue.h"

#include "game/utf8.h"

#include <nlohmann/json.hpp>

#include <array>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tw {
namespace {

using json = nlohmann::ordered_json;

const char catalogue_name[] = "games.json";

// Messages carry titles and parser excerpts; both must reach the toolkit as
// valid UTF-8 or the whole sentence is lost.
std::string in_quotes(std::string_view title) {
    return "\"" + decode_utf8(title) + "\"";
}

// nlohmann says "[json.exception.parse_error.101] parse error at line 3,
// column 7: <reason>"; the player needs only "line 3, column 7: <reason>".
std::string parse_reason(const std::string& what) {
    for (std::string_view marker : {"parse error at ", "parse error: ", "] "}) {
        auto at = what.find(marker);
        if (at != std::string::npos)
            return what.substr(at + marker.size());
    }
    return what;
}

std::string sentence(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\n'))
        text.pop_back();
    return text + ".";
}

// Decodes one code point; returns its length, or 0 for an invalid byte.
size_t next_code_point(std::string_view s, size_t i, char32_t& cp) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t len = b < 0x80                 ? 1
                 : b >= 0xC2 && b <= 0xDF ? 2
                 : b >= 0xE0 && b <= 0xEF ? 3
                 : b >= 0xF0 && b <= 0xF4 ? 4
                                          : 0;
    if (len == 0 || i + len > s.size())
        return 0;
    cp = len == 1 ? b : len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
    for (size_t k = 1; k < len; ++k) {
        auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not text.
    static constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return 0;
    return len;
}

bool forbidden(char32_t cp) {
    // Control characters (C0, DEL, C1) and what Windows or Linux reserve.
    if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F))
        return true;
    switch (cp) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
        return true;
    default:
        return false;
    }
}

// Leading dots would hide the file (and "." or ".." would name a
// directory); Windows drops trailing dots and spaces, so the name on disk
// would differ from the one we test for.
void trim(std::string& s) {
    size_t begin = s.find_first_not_of(". ");
    if (begin == std::string::npos) {
        s.clear();
        return;
    }
    size_t end = s.find_last_not_of(". ");
    s = s.substr(begin, end - begin + 1);
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

// CON, NUL, COM1... name devices on Windows whatever extension follows.
bool reserved_on_windows(std::string_view stem) {
    auto base = stem.substr(0, stem.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    for (std::string_view name : {"con", "prn", "aux", "nul"})
        if (iequals(base, name))
            return true;
    if (base.size() == 4 && base[3] >= '0' && base[3] <= '9' &&
        (iequals(base.substr(0, 3), "com") || iequals(base.substr(0, 3), "lpt")))
        return true;
    return false;
}

// Cuts `s` to at most `limit` bytes without splitting a UTF-8 sequence.
void cut_utf8(std::string& s, size_t limit) {
    if (s.size() <= limit)
        return;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
        --end;
    s.resize(end);
}

bool ascii_alnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string percent_decode(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hex_value(s[i + 1]) >= 0 &&
            hex_value(s[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hex_value(s[i + 1]) * 16 + hex_value(s[i + 2])));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::string utf8_of(const std::filesystem::path& p) {
    auto u8 = p.u8string();
    return decode_utf8(std::string_view(reinterpret_cast<const char*>(u8.data()), u8.size()));
}

} // namespace

std::string catalogue_entry::line() const {
    return title + " by " + author + ": " + description;
}

catalogue parse_catalogue(std::string_view text) {
    catalogue cat;
    try {
        json doc = json::parse(text.begin(), text.end());
        if (!doc.is_object()) {
            cat.error = "The game catalogue is not a JSON object of games.";
            return cat;
        }
        for (const auto& [title, value] : doc.items()) {
            if (!value.is_array()) {
                cat.error = "The catalogue entry " + in_quotes(title) +
                            " is not a list of description, author and download address.";
                break;
            }
            if (value.size() < 1 || !value[0].is_string()) {
                cat.error = "The catalogue entry " + in_quotes(title) +
                            " has no description, or its description is not text.";
                break;
            }
            if (value.size() < 2 || !value[1].is_string()) {
                cat.error = "The catalogue entry " + in_quotes(title) +
                            " has no author, or its author is not text.";
                break;
            }
            catalogue_entry entry;
            entry.title = title;
            entry.description = value[0].get<std::string>();
            entry.author = value[1].get<std::string>();
            if (value.size() >= 3 && value[2].is_string() && !value[2].get<std::string>().empty())
                entry.uri = value[2].get<std::string>();
            cat.entries.push_back(std::move(entry));
        }
        if (cat.ok() && cat.entries.empty())
            cat.error = "The game catalogue lists no games.";
    } catch (const json::parse_error& e) {
        cat.error = sentence("The game catalogue could not be read: " +
                             decode_utf8(parse_reason(e.what())));
    } catch (const json::exception& e) {
        cat.error = sentence("The game catalogue could not be read: " + decode_utf8(e.what()));
    }
    if (!cat.ok())
        cat.entries.clear();
    return cat;
}

catalogue load_catalogue(const std::filesystem::path& file) {
    catalogue cat;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        cat.error = "The game catalogue " + utf8_of(file) + " was not found.";
        return cat;
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    if (in)
        text << in.rdbuf();
    if (!in || in.bad()) {
        cat.error = "The game catalogue " + utf8_of(file) + " could not be read.";
        return cat;
    }
    return parse_catalogue(text.str());
}

catalogue load_catalogue() {
    std::error_code ec;
    auto cwd = std::filesystem::current_path(ec);
    auto found = find_catalogue(ec ? std::filesystem::path() : cwd, program_directory());
    if (!found) {
        catalogue cat;
        cat.error = "The game catalogue, games.json, was not found in the current folder, beside "
                    "the program or in its data folder.";
        return cat;
    }
    return load_catalogue(*found);
}

std::optional<std::filesystem::path> find_catalogue(const std::filesystem::path& cwd,
                                                    const std::filesystem::path& program_dir) {
    std::vector<std::filesystem::path> dirs{cwd, program_dir};
    if (!program_dir.empty()) {
        auto bin = program_dir.lexically_normal();
        if (!bin.has_filename())
            bin = bin.parent_path();
        dirs.push_back(bin.parent_path() / "share" / "tallowick");
    }
    for (const auto& dir : dirs) {
        if (dir.empty())
            continue;
        auto candidate = dir / catalogue_name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec))
            return candidate;
    }
    return std::nullopt;
}

std::vector<std::string> chooser_lines(const catalogue& cat) {
    std::vector<std::string> lines;
    lines.reserve(cat.entries.size());
    for (const auto& entry : cat.entries)
        lines.push_back(entry.line());
    return lines;
}

std::filesystem::path path_from_utf8(std::string_view utf8) {
    // A plain std::string would be read in the ANSI code page on Windows.
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string uri_extension(std::string_view uri) {
    uri = uri.substr(0, uri.find('#'));
    uri = uri.substr(0, uri.find('?'));
    // Skip the scheme and the host, whose dots are no extension.
    auto scheme_end = uri.find("://");
    if (scheme_end != std::string_view::npos) {
        auto path_start = uri.find('/', scheme_end + 3);
        uri = path_start == std::string_view::npos ? std::string_view() : uri.substr(path_start);
    }
    auto segment = percent_decode(uri.substr(uri.rfind('/') + 1));
    auto dot = segment.rfind('.');
    if (dot == std::string::npos)
        return "";
    auto ext = segment.substr(dot + 1);
    if (ext.empty() || ext.size() > 10)
        return "";
    for (char c : ext)
        if (!ascii_alnum(c))
            return "";
    return ext;
}

std::string local_file_name(std::string_view title, std::string_view uri) {
    std::string stem;
    for (size_t i = 0; i < title.size();) {
        char32_t cp = 0;
        size_t len = next_code_point(title, i, cp);
        if (len == 0) {
            stem.push_back('_');
            ++i;
            continue;
        }
        if (forbidden(cp))
            stem.push_back('_');
        else
            stem.append(title.substr(i, len));
        i += len;
    }
    trim(stem);

    std::string ext = uri_extension(uri);
    std::string suffix = ext.empty() ? "" : "." + ext;
    // A title that already ends in the extension does not get it twice.
    if (!suffix.empty() && stem.size() > suffix.size() &&
        iequals(std::string_view(stem).substr(stem.size() - suffix.size()), suffix))
        suffix.clear();

    cut_utf8(stem, max_file_name - suffix.size());
    trim(stem);
    if (stem.empty())
        stem = "game";
    if (reserved_on_windows(stem))
        stem.insert(0, "_");
    cut_utf8(stem, max_file_name - suffix.size());
    return stem + suffix;
}

game_location locate_game(const catalogue_entry& entry, const std::filesystem::path& savepath) {
    game_location where;
    if (!entry.uri) {
        where.error = "The download address of the catalogue entry " + in_quotes(entry.title) +
                      " is missing or is not text.";
        return where;
    }
    where.uri = *entry.uri;
    where.file = local_file_name(entry.title, where.uri);
    where.path = savepath / path_from_utf8(where.file);
    // local_file_name holds no separator, so this cannot fail; it is the
    // last guard against a name that climbs out of the save directory.
    auto inside = (savepath / "x").lexically_normal().parent_path();
    auto normal = where.path.lexically_normal();
    if (normal.parent_path() != inside || normal.filename() != path_from_utf8(where.file)) {
        where.error =
            "The story file for " + in_quotes(entry.title) + " would lie outside the save folder.";
        where.path.clear();
        where.file.clear();
    }
    return where;
}

} // namespace tw
