// Feeds arbitrary bytes, as glulxe's output, to the reader's pipeline over
// the Glk protocol (glk_screen), driven here on this thread: bad, cut-off or
// hostile JSON is at most one failure and never a crash or a hang; in chunks
// it gives the same items as whole; every item is valid UTF-8.
#include "common.h"

#include "core/interpreter/glk_protocol.h"
#include "core/interpreter/reader.h"

using namespace tw;

namespace {

struct pipeline {
    pipeline()
        : reader(
              std::make_unique<glk_screen>(), heard,
              [this](output_item item) {
                  FUZZ_CHECK(fuzz::valid_utf8(item.raw));
                  FUZZ_CHECK(fuzz::valid_utf8(item.shown));
                  failures += item.kind == output_item::failure;
                  items.push_back(std::to_string(item.kind) + item.raw);
              },
              [](const std::string&) {}) {}

    std::vector<std::string> items;
    int failures = 0;
    hearing heard;
    output_reader reader;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto bytes = fuzz::as_text(data, size);
    fuzz::choices pick(bytes);
    constexpr size_t sizes[] = {1, 7, 64};

    pipeline whole;
    whole.reader.feed(bytes);
    whole.reader.finish();
    FUZZ_CHECK(whole.failures <= 1);

    pipeline chunked;
    for (auto piece : fuzz::chunks(bytes, sizes[pick.below(3)]))
        chunked.reader.feed(piece);
    chunked.reader.finish();
    FUZZ_CHECK(chunked.items == whole.items);
    return 0;
}
