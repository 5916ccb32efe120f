#pragma once
#include <cstdio>
#include <string>

namespace tw::test {

// The first n bytes of the lines "<k, 7 digits> the quick brown fox\n" for
// k = 0, 1, 2...: what the fake interpreter's flood and stderr modes write.
inline std::string pattern_bytes(size_t n) {
    std::string s;
    char line[64];
    for (int k = 0; s.size() < n; ++k) {
        std::snprintf(line, sizeof line, "%07d the quick brown fox\n", k);
        s += line;
    }
    s.resize(n);
    return s;
}

} // namespace tw::test
