#include "glk/file_names.h"

#include "core/text/file_name_rules.h"
#include "glk/utf8.h"

namespace tw::glk {
namespace {

const char* extension_for(glui32 usage) {
    switch (usage & fileusage_TypeMask) {
    case fileusage_SavedGame:
        return ".glksave";
    case fileusage_Transcript:
    case fileusage_InputRecord:
        return ".txt";
    default:
        return ".glkdata";
    }
}

// Names longer than this are cut (at a character's start) before the
// extension is added; file systems allow 255 bytes.
constexpr size_t max_name = 200;

} // namespace

std::string game_file_name(std::string_view name, glui32 usage) {
    std::string safe;
    for (char32_t cp : from_utf8(name))
        if (!unfit_in_file_name(cp))
            append_utf8(safe, cp);
    for (size_t at; (at = safe.find("..")) != std::string::npos;)
        safe.erase(at, 1);
    safe.resize(utf8_prefix(safe, max_name).size());
    trim_dots_and_spaces(safe);
    if (safe.empty())
        safe = "null";
    if (is_device_name(safe))
        safe.insert(0, "_");
    if (safe.find('.') == std::string::npos)
        safe += extension_for(usage);
    return safe;
}

std::optional<std::string> prompted_file_name(std::string_view name) {
    if (name.empty() || name == "." || name.find("..") != std::string_view::npos)
        return std::nullopt;
    for (char32_t cp : from_utf8(name))
        if (cp < 0x20 || cp == 0x7F || cp == '/' || cp == '\\' || cp == ':')
            return std::nullopt;
    return std::string(name);
}

} // namespace tw::glk
