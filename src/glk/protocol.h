#pragma once
// The pieces of GlkOte's protocol that need no state: where one JSON
// message ends in the input, and the names of special keys.
#include "glk/glk_api.h"

#include <string>
#include <string_view>

namespace tw::glk {

// Input is JSON objects one after another, split across reads anyhow.
// Fed one character at a time, this says when an object is complete.
class message_splitter {
  public:
    enum class status { more, complete, error };
    status push(char c);
    // The complete object; the splitter then waits for the next.
    std::string take();

    // Bigger than any event a display sends; garbage must not eat memory.
    static constexpr size_t max_message = 1 << 24;

  private:
    std::string text_;
    int depth_ = 0;
    bool in_string_ = false;
    bool escaped_ = false;
};

// The keycode of a special key's name ("left", "func1"...), or 0.
glui32 keycode_named(std::string_view name);
// The name of a special key, or "" for any other code.
const char* key_name(glui32 keycode);

} // namespace tw::glk
