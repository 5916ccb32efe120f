#include "glk/protocol.h"

namespace tw::glk {
namespace {

struct named_key {
    const char* name;
    glui32 keycode;
};
constexpr named_key special_keys[] = {
    {"left", keycode_Left},         {"right", keycode_Right},   {"up", keycode_Up},
    {"down", keycode_Down},         {"return", keycode_Return}, {"delete", keycode_Delete},
    {"escape", keycode_Escape},     {"tab", keycode_Tab},       {"pageup", keycode_PageUp},
    {"pagedown", keycode_PageDown}, {"home", keycode_Home},     {"end", keycode_End},
    {"func1", keycode_Func1},       {"func2", keycode_Func2},   {"func3", keycode_Func3},
    {"func4", keycode_Func4},       {"func5", keycode_Func5},   {"func6", keycode_Func6},
    {"func7", keycode_Func7},       {"func8", keycode_Func8},   {"func9", keycode_Func9},
    {"func10", keycode_Func10},     {"func11", keycode_Func11}, {"func12", keycode_Func12},
};

bool whitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

message_splitter::status message_splitter::push(char c) {
    if (text_.empty()) {
        if (whitespace(c))
            return status::more;
        if (c != '{')
            return status::error;
    }
    if (text_.size() >= max_message)
        return status::error;
    text_.push_back(c);
    if (in_string_) {
        if (escaped_)
            escaped_ = false;
        else if (c == '\\')
            escaped_ = true;
        else if (c == '"')
            in_string_ = false;
        return status::more;
    }
    switch (c) {
    case '"':
        in_string_ = true;
        break;
    case '{':
    case '[':
        ++depth_;
        break;
    case '}':
    case ']':
        if (--depth_ == 0)
            return status::complete;
        break;
    default:
        break;
    }
    return status::more;
}

std::string message_splitter::take() {
    std::string message = std::move(text_);
    text_.clear();
    depth_ = 0;
    in_string_ = escaped_ = false;
    return message;
}

glui32 keycode_named(std::string_view name) {
    for (auto& key : special_keys)
        if (name == key.name)
            return key.keycode;
    return 0;
}

const char* key_name(glui32 keycode) {
    for (auto& key : special_keys)
        if (keycode == key.keycode)
            return key.name;
    return "";
}

} // namespace tw::glk
