// Feeds arbitrary bytes, as glulxe's output, to the reader's pipeline over
// the Glk protocol (glk_screen), driven here on this thread: bad, cut-off or
// hostile JSON is at most one failure and never a crash or a hang; in chunks
// it gives the same items as whole; every item is valid UTF-8.
#include "reader_pipeline.h"

#include "core/interpreter/glk_protocol.h"

using namespace tw;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto bytes = fuzz::as_text(data, size);
    fuzz::choices pick(bytes);
    constexpr size_t sizes[] = {1, 7, 64};

    fuzz::reader_pipeline whole(std::make_unique<glk_screen>());
    whole.feed(bytes);
    whole.finish();
    FUZZ_CHECK(whole.failures <= 1);

    fuzz::reader_pipeline chunked(std::make_unique<glk_screen>());
    for (auto piece : fuzz::chunks(bytes, sizes[pick.below(3)]))
        chunked.feed(piece);
    chunked.finish();
    FUZZ_CHECK(chunked.items == whole.items);
    return 0;
}
