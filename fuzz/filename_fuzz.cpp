// Feeds arbitrary titles and download addresses to the file-name rules.
// Invariants: the derived name is never "", "." or "..", never begins with
// ".", holds no separator, control character or character that Windows
// reserves, is valid UTF-8 of at most max_file_name bytes, and the story
// path it gives lies directly inside the save directory.
//
// Input: the title, then the address, split by libFuzzer's
// FuzzedDataProvider (a string of random length ends at a backslash
// followed by any other byte; "\\\\" stands for one backslash).
#include "names.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace tw;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::string title = in.ConsumeRandomLengthString(4 * max_file_name);
    std::string uri = in.ConsumeRemainingBytesAsString();

    fuzz::check_extension(uri);
    fuzz::check_file_name(local_file_name(title, uri), uri);
    // The title as an address and the address as a title.
    fuzz::check_file_name(local_file_name(uri, title), title);
    fuzz::check_extension(title);

    catalogue_entry entry;
    entry.title = title;
    if (!uri.empty())
        entry.uri = uri;
    fuzz::check_location(entry, "/tmp/tallowick fuzz/saves");
    fuzz::check_location(entry, "saves");
    return 0;
}
