#include "glk/file_names.h"

#include "glk/utf8.h"

namespace tw::glk {
namespace {

bool forbidden(char32_t cp) {
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F))
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

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// CON, NUL, COM1... name devices on Windows, whatever extension follows.
bool device_name(std::string_view name) {
    auto stem = name.substr(0, name.find('.'));
    std::string base;
    for (char c : stem)
        base += lower(c);
    if (base == "con" || base == "prn" || base == "aux" || base == "nul")
        return true;
    return base.size() == 4 && (base.starts_with("com") || base.starts_with("lpt")) &&
           base[3] >= '0' && base[3] <= '9';
}

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
        if (!forbidden(cp))
            append_utf8(safe, cp);
    for (size_t at; (at = safe.find("..")) != std::string::npos;)
        safe.erase(at, 1);
    if (safe.size() > max_name) {
        size_t cut = max_name;
        while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80)
            --cut;
        safe.resize(cut);
    }
    // Leading dots hide a file; Windows drops trailing dots and spaces.
    size_t begin = safe.find_first_not_of(". ");
    size_t end = safe.find_last_not_of(". ");
    safe = begin == std::string::npos ? std::string() : safe.substr(begin, end - begin + 1);
    if (safe.empty())
        safe = "null";
    if (device_name(safe))
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
