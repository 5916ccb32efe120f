#include "core/catalogue/file_names.h"

#include "core/text/file_name_rules.h"
#include "core/text/utf8.h"

#include <system_error>

namespace tw {
namespace {

bool iequals(std::string_view a, std::string_view b) {
    return ascii_lower(a) == ascii_lower(b);
}

bool ascii_alnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = ascii_lower(std::string_view(&c, 1))[0];
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

} // namespace

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
    std::string stem = replace_unfit_characters(title);
    std::string ext = uri_extension(uri);
    std::string suffix = ext.empty() ? "" : "." + ext;
    // A title that already ends in the extension does not get it twice; it
    // keeps its own spelling of it, which the cap below must not cut off.
    trim_dots_and_spaces(stem);
    if (!suffix.empty() && stem.size() > suffix.size() &&
        iequals(std::string_view(stem).substr(stem.size() - suffix.size()), suffix)) {
        suffix = stem.substr(stem.size() - suffix.size());
        stem.resize(stem.size() - suffix.size());
    }
    auto fit = [&] {
        stem = utf8_prefix(stem, max_file_name - suffix.size());
        trim_dots_and_spaces(stem);
    };
    fit();
    if (is_device_name(stem)) {
        stem.insert(0, "_");
        fit();
    }
    if (stem.empty())
        stem = "game";
    return stem + suffix;
}

game_location locate_game(const catalogue_entry& entry, const std::filesystem::path& save_folder) {
    game_location where;
    if (!entry.uri) {
        where.error = "The download address of the catalogue entry " + in_quotes(entry.title) +
                      " is missing or is not text.";
        return where;
    }
    where.uri = *entry.uri;
    where.file = local_file_name(entry.title, where.uri);
    where.path = save_folder / path_from_utf8(where.file);
    // local_file_name holds no separator, so this cannot fail; it is the
    // last guard against a name that climbs out of the save directory.
    auto inside = (save_folder / "x").lexically_normal().parent_path();
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
