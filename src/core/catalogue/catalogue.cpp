#include "core/catalogue/catalogue.h"

#include "core/catalogue/file_names.h"
#include "core/platform/platform.h"
#include "core/text/utf8.h"

#include <nlohmann/json.hpp>

#include <array>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tw {
namespace {

using json = nlohmann::ordered_json;

const char catalogue_name[] = "games.json";

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

} // namespace

std::string in_quotes(std::string_view title) {
    return "\"" + decode_utf8(title) + "\"";
}

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
    cat = parse_catalogue(text.str());
    cat.folder = file.parent_path();
    return cat;
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

} // namespace tw
