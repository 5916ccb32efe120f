#pragma once
// Helpers shared by the fuzz targets: a UTF-8 validator of our own (so a
// fuzzer never checks the decoder with the decoder), choices and chunks
// seeded by the input, and a check that aborts with a message, which
// libFuzzer reports as a crash together with the input that caused it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::fuzz::fail(#cond, __FILE__, __LINE__);                                               \
    } while (0)

// Strict UTF-8 as Unicode defines it: no overlong forms, no surrogates,
// nothing past U+10FFFF, no truncated sequence.
inline bool valid_utf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp;
        if ((b & 0xE0) == 0xC0) {
            len = 2;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (s.size() - i < len)
            return false;
        for (size_t k = 1; k < len; ++k) {
            auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static constexpr uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += len;
    }
    return true;
}

// The code points of valid UTF-8 `s`.
inline std::vector<uint32_t> code_points(std::string_view s) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        uint32_t cp = len == 1 ? b : len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
        for (size_t k = 1; k < len && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(cp);
        i += len;
    }
    return out;
}

// Choices made by a small generator seeded by the data itself, so that the
// same input always makes the same choices and different inputs different
// ones.
struct choices {
    explicit choices(std::string_view data) {
        for (unsigned char c : data)
            state = (state ^ c) * 0x100000001b3ull;
    }
    // A number from 0 to n - 1.
    size_t below(size_t n) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<size_t>(state >> 33) % n;
    }
    uint64_t state = 0xcbf29ce484222325ull;
};

// Cuts `data` into chunks of 1 to `most` bytes, sized by choices(data), so
// that sequences and line ends are split at every kind of boundary.
inline std::vector<std::string_view> chunks(std::string_view data, size_t most) {
    choices pick(data);
    std::vector<std::string_view> out;
    out.reserve(data.size() * 2 / (most + 1) + 1);
    for (size_t at = 0; at < data.size();) {
        size_t n = std::min(1 + pick.below(most), data.size() - at);
        out.push_back(data.substr(at, n));
        at += n;
    }
    return out;
}

inline std::string_view as_text(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace fuzz
