#include "glk/unicode.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>

namespace tw::glk {
namespace {

struct case_mapping {
    char32_t cp, upper, lower, title;
};
enum class case_kind : uint8_t { lower, title, upper };
struct special_case {
    char32_t cp;
    case_kind kind;
    uint8_t length;
    char32_t mapped[3];
};
struct decomposition {
    char32_t cp;
    uint16_t offset;
    uint8_t length;
};
struct combining_range {
    char32_t first, last;
    uint8_t combining_class;
};
struct composition {
    char32_t first, second, composite;
};

#include "glk/unicode_tables.inc"

// Hangul syllables decompose and compose by arithmetic, not by table.
constexpr char32_t hangul_base = 0xAC00, lead_base = 0x1100, vowel_base = 0x1161,
                   trail_base = 0x11A7;
constexpr char32_t lead_count = 19, vowel_count = 21, trail_count = 28,
                   syllable_count = lead_count * vowel_count * trail_count;

// The first entry for `cp` in a table sorted by code point, or null.
template <class T, size_t N> const T* find_by_code_point(const T (&table)[N], char32_t cp) {
    auto it = std::lower_bound(std::begin(table), std::end(table), cp,
                               [](const T& entry, char32_t c) { return entry.cp < c; });
    return it != std::end(table) && it->cp == cp ? it : nullptr;
}

void append_case(std::u32string& out, char32_t cp, case_kind kind) {
    for (auto* entry = find_by_code_point(special_cases, cp);
         entry && entry != std::end(special_cases) && entry->cp == cp; ++entry) {
        if (entry->kind == kind) {
            out.append(entry->mapped, entry->length);
            return;
        }
    }
    auto* simple = find_by_code_point(simple_cases, cp);
    if (!simple) {
        out.push_back(cp);
        return;
    }
    switch (kind) {
    case case_kind::lower:
        out.push_back(simple->lower);
        break;
    case case_kind::title:
        out.push_back(simple->title);
        break;
    case case_kind::upper:
        out.push_back(simple->upper);
        break;
    }
}

std::u32string map_case(std::u32string_view text, case_kind kind) {
    std::u32string out;
    out.reserve(text.size());
    for (char32_t cp : text)
        append_case(out, cp, kind);
    return out;
}

uint8_t combining_class_of(char32_t cp) {
    auto it = std::upper_bound(std::begin(combining_classes), std::end(combining_classes), cp,
                               [](char32_t c, const combining_range& r) { return c < r.first; });
    if (it == std::begin(combining_classes))
        return 0;
    --it;
    return cp <= it->last ? it->combining_class : 0;
}

void append_decomposition(std::u32string& out, char32_t cp) {
    if (cp >= hangul_base && cp < hangul_base + syllable_count) {
        char32_t index = cp - hangul_base;
        out.push_back(lead_base + index / (vowel_count * trail_count));
        out.push_back(vowel_base + (index % (vowel_count * trail_count)) / trail_count);
        if (index % trail_count)
            out.push_back(trail_base + index % trail_count);
        return;
    }
    if (auto* entry = find_by_code_point(decompositions, cp))
        out.append(decomposition_data + entry->offset, entry->length);
    else
        out.push_back(cp);
}

char32_t compose_pair(char32_t first, char32_t second) {
    if (first >= lead_base && first < lead_base + lead_count && second >= vowel_base &&
        second < vowel_base + vowel_count)
        return hangul_base +
               ((first - lead_base) * vowel_count + (second - vowel_base)) * trail_count;
    if (first >= hangul_base && first < hangul_base + syllable_count &&
        (first - hangul_base) % trail_count == 0 && second > trail_base &&
        second < trail_base + trail_count)
        return first + (second - trail_base);
    auto it =
        std::lower_bound(std::begin(compositions), std::end(compositions), std::pair(first, second),
                         [](const composition& c, std::pair<char32_t, char32_t> key) {
                             return std::pair(c.first, c.second) < key;
                         });
    return it != std::end(compositions) && it->first == first && it->second == second
               ? it->composite
               : 0;
}

} // namespace

std::u32string to_lower_case(std::u32string_view text) {
    return map_case(text, case_kind::lower);
}

std::u32string to_upper_case(std::u32string_view text) {
    return map_case(text, case_kind::upper);
}

std::u32string to_title_case(std::u32string_view text, bool lower_rest) {
    std::u32string out;
    if (text.empty())
        return out;
    append_case(out, text[0], case_kind::title);
    if (lower_rest)
        out += map_case(text.substr(1), case_kind::lower);
    else
        out += text.substr(1);
    return out;
}

std::u32string canonical_decomposition(std::u32string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (char32_t cp : text)
        append_decomposition(out, cp);
    // Canonical ordering: each run of combining marks sorted by class,
    // stably, so that marks of equal class keep their order.
    for (size_t i = 0; i < out.size();) {
        if (combining_class_of(out[i]) == 0) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < out.size() && combining_class_of(out[end]) != 0)
            ++end;
        std::stable_sort(out.begin() + i, out.begin() + end, [](char32_t a, char32_t b) {
            return combining_class_of(a) < combining_class_of(b);
        });
        i = end;
    }
    return out;
}

std::u32string canonical_composition(std::u32string_view text) {
    std::u32string out = canonical_decomposition(text);
    if (out.empty())
        return out;
    size_t starter = 0;
    // A leading mark has no starter to join: nothing composes until one comes.
    int last_class = combining_class_of(out[0]) == 0 ? 0 : 256;
    size_t kept = 1;
    for (size_t i = 1; i < out.size(); ++i) {
        char32_t cp = out[i];
        int cls = combining_class_of(cp);
        // Blocked when a kept character of the same or a higher class (or
        // another starter) stands between the starter and this one.
        if (last_class < cls || last_class == 0) {
            if (char32_t composite = compose_pair(out[starter], cp)) {
                out[starter] = composite;
                continue;
            }
        }
        if (cls == 0)
            starter = kept;
        last_class = cls;
        out[kept++] = cp;
    }
    out.resize(kept);
    return out;
}

} // namespace tw::glk
