#pragma once
// Turns the interpreter's bytes into valid UTF-8 as they arrive in chunks.
// Invalid bytes become U+FFFD rather than ending the reader, NUL bytes are
// dropped (no toolkit text survives them), and every CR LF and lone CR
// becomes LF, as the interpreter's text mode would give on any platform.
#include <string>
#include <string_view>

namespace tw {

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
    size_t need = 0;     // bytes the sequence still lacks
    bool after_cr = false;
};

// Whole-string convenience over utf8_decoder.
std::string decode_utf8(std::string_view bytes);

} // namespace tw
