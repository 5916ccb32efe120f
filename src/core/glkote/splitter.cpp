#include "core/glkote/splitter.h"

namespace tw::glkote {

void message_splitter::feed(std::string_view text) {
    if (fault != status::more)
        return;
    pending.erase(0, start);
    scanned -= start;
    start = 0;
    pending.append(text);
}

message_splitter::status message_splitter::next(std::string_view& message) {
    if (fault != status::more)
        return fault;
    // A brace outside any string opens or closes an object.
    for (; scanned < pending.size(); ++scanned) {
        if (in_string) {
            // On to the quote that ends it, one after an even number of
            // backslashes; the opening quote bounds the look back.
            size_t quote = pending.find('"', scanned);
            if (quote == std::string::npos) {
                scanned = pending.size();
                break;
            }
            size_t backslashes = 0;
            while (pending[quote - 1 - backslashes] == '\\')
                ++backslashes;
            in_string = backslashes % 2 != 0;
            scanned = quote;
            continue;
        }
        char c = pending[scanned];
        if (depth == 0) {
            if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
                start = scanned + 1;
                continue;
            }
            if (c != '{')
                return fault = status::not_an_object;
        }
        if (c == '"') {
            in_string = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if ((c == '}' || c == ']') && --depth == 0) {
            message = std::string_view(pending).substr(start, scanned + 1 - start);
            start = ++scanned;
            return status::complete;
        }
    }
    if (pending.size() - start > limit)
        return fault = status::too_large;
    return status::more;
}

bool message_splitter::holds_part() const {
    return pending.find_first_not_of(" \t\r\n", start) != std::string::npos;
}

} // namespace tw::glkote
