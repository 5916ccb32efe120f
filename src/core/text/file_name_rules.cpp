#include "core/text/file_name_rules.h"

#include "core/text/utf8.h"

namespace tw {

bool unfit_in_file_name(char32_t cp) {
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

std::string replace_unfit_characters(std::string_view name) {
    std::string fit;
    for (size_t i = 0; i < name.size();) {
        char32_t cp = 0;
        size_t len = next_code_point(name, i, cp);
        if (len == 0 || unfit_in_file_name(cp))
            fit.push_back('_');
        else
            fit.append(name.substr(i, len));
        i += len ? len : 1;
    }
    return fit;
}

void trim_dots_and_spaces(std::string& name) {
    size_t begin = name.find_first_not_of(". ");
    if (begin == std::string::npos) {
        name.clear();
        return;
    }
    size_t end = name.find_last_not_of(". ");
    name = name.substr(begin, end - begin + 1);
}

bool is_device_name(std::string_view name) {
    auto base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    auto folded = ascii_lower(base);
    if (folded == "con" || folded == "prn" || folded == "aux" || folded == "nul")
        return true;
    return folded.size() == 4 && (folded.starts_with("com") || folded.starts_with("lpt")) &&
           folded[3] >= '0' && folded[3] <= '9';
}

} // namespace tw
