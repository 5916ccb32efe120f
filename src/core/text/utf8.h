#pragma once
// UTF-8, checked in one place. The interpreter's bytes, catalogue titles and
// texts for the speech service all pass through here: invalid bytes become
// U+FFFD (or the caller's stand-in) instead of ending a reader, breaking a
// speech connection or losing a message.
#include <filesystem>
#include <string>
#include <string_view>

namespace tw {

// Decodes a stream that arrives in chunks. NUL bytes are dropped (no toolkit
// text survives them), and every CR LF and lone CR becomes LF, as the
// interpreter's text mode would give on any platform.
class utf8_decoder {
  public:
    // Appends the decoded text of `bytes` to `out`. A sequence or CR split
    // across two chunks is held until the next call.
    void feed(std::string_view bytes, std::string& out);
    // At the end of the stream: a held partial sequence becomes U+FFFD.
    void finish(std::string& out);

  private:
    void flush_partial(std::string& out);
    std::string partial; // an incomplete multi-byte sequence
    bool after_cr = false;
};

// Whole-string convenience over utf8_decoder.
std::string decode_utf8(std::string_view bytes);

// The length of the sequence that `lead` begins (1 to 4), or 0 when no
// well-formed sequence begins with it.
size_t utf8_sequence_length(unsigned char lead);

// The length of the well-formed sequence at s[i] (1 to 4) and its code point
// in `cp`, or 0 when s[i] starts no well-formed sequence.
size_t next_code_point(std::string_view s, size_t i, char32_t& cp);

// Appends `cp` as UTF-8; what is no Unicode scalar value (a surrogate, past
// U+10FFFF) becomes U+FFFD.
void append_utf8(std::string& out, char32_t cp);

// The longest prefix of `s` of at most `limit` bytes that does not split a
// character.
std::string_view utf8_prefix(std::string_view s, size_t limit);

// The number of characters (code points) in valid UTF-8 text.
size_t utf8_length(std::string_view s);

// Case folded for the letters of ASCII; every other byte, UTF-8's included,
// kept as it is.
std::string ascii_lower(std::string_view s);

// A UTF-8 file name, as a path, on every platform (a plain std::string
// would be read in the ANSI code page on Windows).
std::filesystem::path path_from_utf8(std::string_view utf8);
// A path as UTF-8, invalid bytes replaced.
std::string utf8_of(const std::filesystem::path& p);

} // namespace tw
