#include "glk/platform.h"

#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace tw::glk {

void use_binary_stdio() {}

std::FILE* open_file(const std::filesystem::path& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

std::optional<size_t> read_input(char* buffer, size_t size, bool wait) {
    if (!wait) {
        pollfd input{0, POLLIN, 0};
        int ready = poll(&input, 1, 0);
        if (ready == 0 || (ready < 0 && errno == EINTR))
            return 0;
    }
    for (;;) {
        ssize_t got = read(0, buffer, size);
        if (got > 0)
            return static_cast<size_t>(got);
        if (got < 0 && errno == EINTR)
            continue;
        return std::nullopt;
    }
}

} // namespace tw::glk
