#include "core/text/utf8.h"

namespace tw {
namespace {

const char replacement[] = "\xEF\xBF\xBD";

// Whether `b` may follow `lead` as the byte at `index` (1 to 3) of its
// sequence. The second byte's range rules out overlong forms, surrogates
// and code points past U+10FFFF.
bool continues(unsigned char lead, size_t index, unsigned char b) {
    if (index > 1)
        return b >= 0x80 && b <= 0xBF;
    switch (lead) {
    case 0xE0:
        return b >= 0xA0 && b <= 0xBF;
    case 0xED:
        return b >= 0x80 && b <= 0x9F;
    case 0xF0:
        return b >= 0x90 && b <= 0xBF;
    case 0xF4:
        return b >= 0x80 && b <= 0x8F;
    default:
        return b >= 0x80 && b <= 0xBF;
    }
}

} // namespace

size_t utf8_sequence_length(unsigned char lead) {
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

void append_utf8(std::string& out, char32_t cp) {
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
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

size_t next_code_point(std::string_view s, size_t i, char32_t& cp) {
    auto lead = static_cast<unsigned char>(s[i]);
    size_t len = utf8_sequence_length(lead);
    if (len == 0 || i + len > s.size())
        return 0;
    static constexpr unsigned char lead_bits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    cp = lead & lead_bits[len];
    for (size_t k = 1; k < len; ++k) {
        auto b = static_cast<unsigned char>(s[i + k]);
        if (!continues(lead, k, b))
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    return len;
}

std::string_view utf8_prefix(std::string_view s, size_t limit) {
    if (s.size() <= limit)
        return s;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
        --end;
    return s.substr(0, end);
}

size_t utf8_length(std::string_view s) {
    size_t n = 0;
    for (char c : s)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

void utf8_decoder::flush_partial(std::string& out) {
    if (!partial.empty())
        out += replacement;
    partial.clear();
}

void utf8_decoder::feed(std::string_view bytes, std::string& out) {
    out.reserve(out.size() + bytes.size());
    for (char ch : bytes) {
        auto b = static_cast<unsigned char>(ch);
        if (!partial.empty()) {
            auto lead = static_cast<unsigned char>(partial[0]);
            if (continues(lead, partial.size(), b)) {
                partial.push_back(ch);
                if (partial.size() == utf8_sequence_length(lead)) {
                    out += partial;
                    partial.clear();
                }
                continue;
            }
            // The sequence broke off: replace what we had, then look at this
            // byte afresh.
            flush_partial(out);
        }
        if (b < 0x80) {
            if (b == '\n' && after_cr) {
                after_cr = false;
                continue;
            }
            after_cr = b == '\r';
            if (b != 0)
                out.push_back(b == '\r' ? '\n' : ch);
            continue;
        }
        after_cr = false;
        if (utf8_sequence_length(b) == 0)
            out += replacement;
        else
            partial.assign(1, ch);
    }
}

void utf8_decoder::finish(std::string& out) {
    flush_partial(out);
    after_cr = false;
}

std::string decode_utf8(std::string_view bytes) {
    utf8_decoder d;
    std::string out;
    d.feed(bytes, out);
    d.finish(out);
    return out;
}

std::string ascii_lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::filesystem::path path_from_utf8(std::string_view utf8) {
    // A plain std::string would be read in the ANSI code page on Windows.
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string utf8_of(const std::filesystem::path& p) {
    auto u8 = p.u8string();
    return decode_utf8(std::string_view(reinterpret_cast<const char*>(u8.data()), u8.size()));
}

} // namespace tw
