#pragma once
// Cuts the interpreter's output into the short pieces that are spoken one
// at a time. A cut falls after every "\n", ">", "." and "]", except while a
// "[" is open: a bracketed notice stays whole. Linear in its input.
#include <string>
#include <string_view>
#include <vector>

namespace tw {

class segmenter {
  public:
    // Appends the raw segments completed by `text` to `out`. Joined, every
    // raw segment ever emitted plus pending() equals every text fed.
    void feed(std::string_view text, std::vector<std::string>& out);
    // At the end of the stream: what is still held becomes a last segment.
    void finish(std::vector<std::string>& out);
    // When the interpreter has gone quiet: text held without a cut character
    // (a question such as "Overwrite existing file? ") becomes a segment,
    // unless a bracket is open. Returns whether it cut.
    bool release(std::vector<std::string>& out);
    bool releasable() const { return !buffer.empty() && !bracket_open; }
    const std::string& pending() const { return buffer; }

  private:
    void cut(std::vector<std::string>& out);
    std::string buffer;
    bool bracket_open = false;
};

// A raw segment as the reader files it into the turn: " " + raw + "\n".
std::string turn_text(std::string_view raw);

// True for a bare prompt, which is filed but neither spoken nor shown.
bool is_prompt(std::string_view raw);

// The text to speak and show for a raw segment, line end included, or ""
// when there is nothing to say (a prompt, a blank line).
std::string clean_segment(std::string_view raw);

} // namespace tw
