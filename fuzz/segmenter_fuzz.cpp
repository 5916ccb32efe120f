// Feeds arbitrary interpreter output to the segmenter alone, and to the
// whole pipeline the reader runs (decoder, screen, segmenter).
//
// The segmenter alone, on the input decoded, whole and in chunks that split
// no character (as the decoder hands them on): nothing is lost or added (the
// raw segments joined are the text), chunking does not change the segments,
// no raw segment is empty.
//
// The pipeline read_game runs (output_reader over dfrotz's screen), driven
// here on this thread with no clock: in chunks it gives the same items as
// whole; with quiet() at random points it still never crashes. Throughout:
// every segment and status line is valid UTF-8
// and no segment is empty; a cleaned segment is "" or text that ends in a
// line end and neither begins nor ends with a space.
#include "reader_pipeline.h"

#include "core/interpreter/dfrotz_screen.h"

using namespace tw;

namespace {

void check_segment(const std::string& raw) {
    FUZZ_CHECK(!raw.empty());
    FUZZ_CHECK(fuzz::valid_utf8(raw));
    auto cleaned = clean_segment(raw);
    FUZZ_CHECK(fuzz::valid_utf8(cleaned));
    if (raw == ">")
        FUZZ_CHECK(cleaned.empty());
    if (!cleaned.empty()) {
        FUZZ_CHECK(cleaned.front() != ' ');
        FUZZ_CHECK(cleaned.back() != ' ');
        FUZZ_CHECK(cleaned.back() == '\n');
        FUZZ_CHECK(cleaned != "\n");
    }
    FUZZ_CHECK(turn_text(raw).size() == raw.size() + 2);
}

// Cut while fed, and cut at the end of the stream.
struct cuts {
    std::vector<std::string> fed, finished;
    bool operator==(const cuts&) const = default;
};

cuts cut(const std::vector<std::string_view>& pieces) {
    segmenter s;
    cuts c;
    for (auto piece : pieces)
        s.feed(piece, c.fed);
    s.finish(c.finished);
    return c;
}

// Chunks of valid UTF-8 `text` that split no character.
std::vector<std::string_view> whole_characters(std::string_view text, size_t most) {
    std::vector<std::string_view> out;
    size_t at = 0;
    for (auto piece : fuzz::chunks(text, most)) {
        size_t end = static_cast<size_t>(piece.data() - text.data()) + piece.size();
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end;
        if (end > at)
            out.push_back(text.substr(at, end - at));
        at = std::max(at, end);
    }
    return out;
}

// The reader's own pipeline over dfrotz's screen, its segments checked too.
fuzz::reader_pipeline dfrotz_pipeline(int width) {
    return fuzz::reader_pipeline(std::make_unique<dfrotz_screen>(width), [](const output_item& item) {
        if (item.kind == output_item::segment)
            check_segment(item.raw);
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto bytes = fuzz::as_text(data, size);
    // How finely to cut, chosen by the input: one pass each costs what it
    // does, and over many inputs every size is tried.
    fuzz::choices pick(bytes);
    constexpr size_t sizes[] = {1, 7, 64};
    const size_t text_pieces = sizes[pick.below(3)], byte_pieces = sizes[pick.below(3)];

    // The segmenter alone.
    const std::string text = decode_utf8(bytes);
    auto whole = cut({text});
    std::string joined;
    for (const auto* list : {&whole.fed, &whole.finished})
        for (const auto& raw : *list) {
            check_segment(raw);
            joined += raw;
        }
    FUZZ_CHECK(joined == text);
    FUZZ_CHECK(whole.finished.size() <= 1);
    FUZZ_CHECK(cut(whole_characters(text, text_pieces)) == whole);

    // The pipeline, at a screen width the input picks.
    const int width = 1 + static_cast<int>(pick.below(255));
    auto all = dfrotz_pipeline(width);
    all.feed(bytes);
    all.finish();
    auto chunked = dfrotz_pipeline(width);
    for (auto piece : fuzz::chunks(bytes, byte_pieces)) {
        chunked.feed(piece);
    }
    chunked.finish();
    FUZZ_CHECK(chunked.items == all.items);
    auto quieted = dfrotz_pipeline(width);
    for (auto piece : fuzz::chunks(bytes, 16)) {
        quieted.feed(piece);
        if (pick.below(4) == 0)
            quieted.quiet();
    }
    quieted.finish();
    return 0;
}
