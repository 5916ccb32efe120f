#pragma once
// The Glk side works in code points (char32_t): these turn them to and from
// UTF-8 with the core's rules, anything that is not a Unicode scalar value
// written as U+FFFD.
#include "core/text/utf8.h"

#include <string>
#include <string_view>

namespace tw::glk {

using tw::append_utf8;
using tw::next_code_point;
using tw::path_from_utf8;
using tw::utf8_sequence_length;

inline std::string to_utf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t cp : text)
        append_utf8(out, cp);
    return out;
}

// Text that is not UTF-8 (a Latin-1 file, say) keeps its bytes as code points.
inline std::u32string from_utf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        size_t length = next_code_point(text, i, cp);
        if (length == 0) {
            out.push_back(static_cast<unsigned char>(text[i++]));
            continue;
        }
        out.push_back(cp);
        i += length;
    }
    return out;
}

} // namespace tw::glk
