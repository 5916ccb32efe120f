#pragma once
// Where one JSON message of GlkOte's protocol ends: both ends read objects
// one after another, with white space between, cut across reads anyhow.
#include <cstddef>
#include <string>
#include <string_view>

namespace tw::glkote {

class message_splitter {
  public:
    // A message longer than `limit` bytes is no message of the protocol;
    // garbage must not eat the memory.
    explicit message_splitter(size_t limit) : limit(limit) {}

    enum class status {
        more,          // nothing whole yet: feed more
        complete,      // `message` is one whole object
        not_an_object, // something else came between the objects
        too_large,
    };
    // Adds what was read. Messages given out before are gone.
    void feed(std::string_view text);
    // The next whole message fed, if there is one. After a fault the
    // splitter stays at it.
    status next(std::string_view& message);
    // Whether part of a message has come, and not the rest.
    bool holds_part() const;

  private:
    std::string pending;
    size_t start = 0;   // where the message being gathered starts
    size_t scanned = 0; // how far it has been read
    int depth = 0;
    bool in_string = false;
    status fault = status::more;
    size_t limit;
};

} // namespace tw::glkote
