// The Unicode buffer calls of the Glk API: case and normalisation.
#include "glk/glk_api.h"
#include "glk/unicode.h"

#include <algorithm>

using namespace tw::glk;

namespace {

// Glk's buffer convention: the result is cut to `len`, its full length returned.
template <class Transform> glui32 transform(glui32* buf, glui32 len, glui32 numchars, Transform f) {
    if (!buf)
        return 0;
    std::u32string result = f(std::u32string(buf, buf + std::min(numchars, len)));
    std::copy_n(result.begin(), std::min<size_t>(result.size(), len), buf);
    return static_cast<glui32>(result.size());
}

} // namespace

glui32 glk_buffer_to_lower_case_uni(glui32* buf, glui32 len, glui32 numchars) {
    return transform(buf, len, numchars, to_lower_case);
}

glui32 glk_buffer_to_upper_case_uni(glui32* buf, glui32 len, glui32 numchars) {
    return transform(buf, len, numchars, to_upper_case);
}

glui32 glk_buffer_to_title_case_uni(glui32* buf, glui32 len, glui32 numchars, glui32 lowerrest) {
    return transform(buf, len, numchars,
                     [&](std::u32string_view text) { return to_title_case(text, lowerrest != 0); });
}

glui32 glk_buffer_canon_decompose_uni(glui32* buf, glui32 len, glui32 numchars) {
    return transform(buf, len, numchars, canonical_decomposition);
}

glui32 glk_buffer_canon_normalize_uni(glui32* buf, glui32 len, glui32 numchars) {
    return transform(buf, len, numchars, canonical_composition);
}
