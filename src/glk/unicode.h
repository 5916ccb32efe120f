#pragma once
// Unicode case mapping and canonical normalisation, for the Glk calls that
// change a buffer of code points (glk_buffer_to_*_case_uni,
// glk_buffer_canon_*_uni) and for line input, which is returned composed.
#include <string>
#include <string_view>

namespace tw::glk {

std::u32string to_lower_case(std::u32string_view text);
std::u32string to_upper_case(std::u32string_view text);
// The first character in title case; the rest lower-cased when
// `lower_rest`, else left as it is.
std::u32string to_title_case(std::u32string_view text, bool lower_rest);

// Normalization Form D and Normalization Form C.
std::u32string canonical_decomposition(std::u32string_view text);
std::u32string canonical_composition(std::u32string_view text);

} // namespace tw::glk
