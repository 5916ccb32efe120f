#pragma once
// UTF-8 for the protocol's strings and for text files. The Glk side works
// in code points (char32_t); anything that is not a Unicode scalar value is
// written as U+FFFD.
#include <string>
#include <string_view>

namespace tw::glk {

inline bool is_scalar_value(char32_t cp) {
    return cp < 0xD800 || (cp > 0xDFFF && cp <= 0x10FFFF);
}

inline void append_utf8(std::string& out, char32_t cp) {
    if (!is_scalar_value(cp))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

inline std::string to_utf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t cp : text)
        append_utf8(out, cp);
    return out;
}

// The length of the UTF-8 sequence that `lead` begins, or 0 when `lead`
// cannot begin one.
inline int utf8_sequence_length(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Decodes one sequence of `length` bytes into `cp`; false when it is
// malformed (overlong, a surrogate, a bad continuation byte).
inline bool decode_utf8_sequence(const unsigned char* bytes, int length, char32_t& cp) {
    static constexpr char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    cp = length == 1 ? bytes[0] : bytes[0] & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((bytes[i] & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (bytes[i] & 0x3F);
    }
    return cp >= minimum[length] && is_scalar_value(cp);
}

// Text that is not UTF-8 (a Latin-1 file, say) keeps its bytes as code points.
inline std::u32string from_utf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        int length = utf8_sequence_length(bytes[i]);
        char32_t cp;
        if (length == 0 || i + length > text.size() ||
            !decode_utf8_sequence(bytes + i, length, cp)) {
            out.push_back(bytes[i++]);
            continue;
        }
        out.push_back(cp);
        i += length;
    }
    return out;
}

} // namespace tw::glk
