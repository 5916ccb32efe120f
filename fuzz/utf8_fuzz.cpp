// Feeds arbitrary bytes to the UTF-8 decoder, whole and in chunks.
// Invariants: the output is always valid UTF-8 and holds no NUL and no CR;
// chunking does not change it; valid UTF-8 without CR or NUL comes out
// unchanged (so decoding the output again changes nothing); every input
// byte gives at most one U+FFFD, three bytes.
#include "common.h"

#include "core/text/utf8.h"

using namespace tw;

namespace {

std::string decode_pieces(const std::vector<std::string_view>& pieces) {
    utf8_decoder d;
    std::string out;
    for (auto piece : pieces)
        d.feed(piece, out);
    d.finish(out);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto bytes = fuzz::as_text(data, size);

    auto whole = decode_utf8(bytes);
    FUZZ_CHECK(fuzz::valid_utf8(whole));
    FUZZ_CHECK(whole.find('\0') == std::string::npos);
    FUZZ_CHECK(whole.find('\r') == std::string::npos);
    FUZZ_CHECK(whole.size() <= 3 * bytes.size());

    for (size_t most : {1, 3, 16}) {
        auto chunked = decode_pieces(fuzz::chunks(bytes, most));
        FUZZ_CHECK(chunked == whole);
    }

    if (fuzz::valid_utf8(bytes) && bytes.find('\0') == std::string_view::npos &&
        bytes.find('\r') == std::string_view::npos)
        FUZZ_CHECK(whole == bytes);

    FUZZ_CHECK(decode_utf8(whole) == whole);
    return 0;
}
