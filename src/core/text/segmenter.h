#pragma once
// Cuts the interpreter's text into the short pieces that are spoken one at a
// time. A cut falls after every "\n", ">", "]" and sentence-ending ".",
// except while a "[" is open: a bracketed notice stays whole. A "." or ">"
// that a letter, digit, another "." or one of "?!,;:" follows ("v6.41",
// "lantern.z5", "...", "game...?", a menu's ">A hint") ends nothing, and
// closing quotes and brackets stay with the sentence they close. Linear in
// its input.
#include <string>
#include <string_view>
#include <vector>

namespace tw {

class segmenter {
  public:
    // Appends the raw segments completed by `text` to `out`. `text` is valid
    // UTF-8 whose characters are whole. Joined, every raw segment ever
    // emitted plus what is held equals every text fed.
    void feed(std::string_view text, std::vector<std::string>& out);
    // At the end of the stream: what is still held becomes a last segment.
    void finish(std::vector<std::string>& out);
    // When the interpreter has gone quiet: held text (a question such as
    // "Overwrite existing file? ", or a sentence waiting to see what follows
    // its ".") becomes a segment, unless a bracket is open. Returns whether
    // it cut.
    bool release(std::vector<std::string>& out);
    // The interpreter now waits for input: nothing more will come to close
    // what is held, an open bracket included.
    void prompt(std::vector<std::string>& out);
    bool releasable() const { return !buffer.empty() && !bracket_open; }

  private:
    void cut(std::vector<std::string>& out);
    std::string buffer;
    // Text held behind an open "[" is kept in pieces, so that a bracket that
    // never closes costs one copy of the text rather than one per doubling.
    std::vector<std::string> held;
    size_t held_bytes = 0;
    bool bracket_open = false;
    // The buffer ends in a "." (and perhaps closing marks) or a ">" whose
    // cut depends on the character that follows.
    bool after_stop = false;
};

// A raw segment as the reader files it into the turn: " " + raw + "\n".
std::string turn_text(std::string_view raw);

// The text to speak and show for a raw segment, line end included, or ""
// when there is nothing to say (a prompt, a blank line).
std::string clean_segment(std::string_view raw);

} // namespace tw
