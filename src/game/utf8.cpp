#include "game/utf8.h"

namespace tw {
namespace {

const char replacement[] = "\xEF\xBF\xBD";

// The range the second byte of a sequence must fall in, which rules out
// overlong forms, surrogates and code points past U+10FFFF.
bool second_ok(unsigned char lead, unsigned char b) {
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

size_t sequence_length(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

} // namespace

void utf8_decoder::flush_partial(std::string& out) {
    if (!partial.empty())
        out += replacement;
    partial.clear();
    need = 0;
}

void utf8_decoder::feed(std::string_view bytes, std::string& out) {
    out.reserve(out.size() + bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<unsigned char>(bytes[i]);
        if (need > 0) {
            bool ok = partial.size() == 1 ? second_ok(static_cast<unsigned char>(partial[0]), b)
                                          : (b >= 0x80 && b <= 0xBF);
            if (ok) {
                partial.push_back(static_cast<char>(b));
                if (--need == 0) {
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
            if (b == 0)
                continue;
            out.push_back(b == '\r' ? '\n' : static_cast<char>(b));
            continue;
        }
        after_cr = false;
        size_t len = sequence_length(b);
        if (len == 0) {
            out += replacement;
            continue;
        }
        partial.assign(1, static_cast<char>(b));
        need = len - 1;
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

} // namespace tw
