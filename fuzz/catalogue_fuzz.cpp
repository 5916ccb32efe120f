// Feeds arbitrary text to the catalogue parser as the contents of
// games.json. Invariants: no exception escapes; text that is not JSON gives
// an error; an error is a sentence of valid UTF-8 and leaves no entries; a
// catalogue that parsed has at least one entry, each of valid UTF-8 text
// (its chooser line too); every entry's story file lies directly inside the
// save directory.
#include "names.h"

#include <nlohmann/json.hpp>

using namespace tw;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto text = fuzz::as_text(data, size);

    catalogue cat;
    try {
        cat = parse_catalogue(text);
    } catch (...) {
        fuzz::fail("parse_catalogue let an exception escape", __FILE__, __LINE__);
    }

    bool is_json = nlohmann::ordered_json::accept(text.begin(), text.end());
    if (!is_json)
        FUZZ_CHECK(!cat.ok());

    if (!cat.ok()) {
        FUZZ_CHECK(cat.entries.empty());
        FUZZ_CHECK(fuzz::valid_utf8(cat.error));
        FUZZ_CHECK(cat.error.back() == '.');
        return 0;
    }

    FUZZ_CHECK(is_json);
    FUZZ_CHECK(!cat.entries.empty());
    const std::filesystem::path savepath = "/tmp/tallowick fuzz/saves";
    for (const auto& e : cat.entries) {
        FUZZ_CHECK(fuzz::valid_utf8(e.title));
        FUZZ_CHECK(fuzz::valid_utf8(e.description));
        FUZZ_CHECK(fuzz::valid_utf8(e.author));
        FUZZ_CHECK(fuzz::valid_utf8(e.line()));
        if (e.uri) {
            FUZZ_CHECK(!e.uri->empty());
            FUZZ_CHECK(fuzz::valid_utf8(*e.uri));
        }
        fuzz::check_location(e, savepath);
    }
    return 0;
}
