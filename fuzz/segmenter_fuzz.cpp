// Feeds arbitrary interpreter output to the segmenter, whole and in chunks.
// Invariants: nothing is lost or added (the raw segments joined, plus what
// is pending, are the input), chunking does not change the segments, no raw
// segment is empty, and a cleaned segment is either "" or text that ends in
// a line end and neither begins nor ends with a space.
#include "common.h"

#include "core/text/segmenter.h"

using namespace tw;

namespace {

struct result {
    std::vector<std::string> segments;
    std::string pending;
};

result cut(const std::vector<std::string_view>& pieces) {
    segmenter s;
    result r;
    for (auto piece : pieces)
        s.feed(piece, r.segments);
    r.pending = s.pending();
    return r;
}

std::string joined(const result& r) {
    std::string all;
    for (const auto& seg : r.segments)
        all += seg;
    return all + r.pending;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto text = fuzz::as_text(data, size);

    auto whole = cut({text});
    FUZZ_CHECK(joined(whole) == text);
    for (const auto& seg : whole.segments)
        FUZZ_CHECK(!seg.empty());

    for (size_t most : {1, 7, 64}) {
        auto chunked = cut(fuzz::chunks(text, most));
        FUZZ_CHECK(chunked.segments == whole.segments);
        FUZZ_CHECK(chunked.pending == whole.pending);
    }

    // At the end of the stream nothing stays held.
    segmenter s;
    std::vector<std::string> all;
    s.feed(text, all);
    s.finish(all);
    FUZZ_CHECK(s.pending().empty());
    std::string rejoined;
    for (const auto& seg : all)
        rejoined += seg;
    FUZZ_CHECK(rejoined == text);

    for (const auto& raw : all) {
        auto cleaned = clean_segment(raw);
        if (is_prompt(raw))
            FUZZ_CHECK(cleaned.empty());
        if (!cleaned.empty()) {
            FUZZ_CHECK(cleaned.front() != ' ');
            FUZZ_CHECK(cleaned.back() != ' ');
            FUZZ_CHECK(cleaned.back() == '\n');
            FUZZ_CHECK(cleaned != "\n");
        }
        auto filed = turn_text(raw);
        FUZZ_CHECK(filed.size() == raw.size() + 2);
    }
    return 0;
}
