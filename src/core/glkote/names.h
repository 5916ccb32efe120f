#pragma once
// The names GlkOte's protocol gives things: special keys, file modes and
// types, text styles, window kinds, picture alignments, and why a file
// could not be written. Each is an enumeration whose values are Glk's own
// constants (glk.h), so that our Glk library turns them into its codes by a
// cast, and Tallowick maps its own key_press and file_request from them.
#include <cstdint>
#include <optional>
#include <string_view>

namespace tw::glkote {

// Glk's keycodes.
enum class special_key : std::uint32_t {
    left = 0xfffffffe,
    right = 0xfffffffd,
    up = 0xfffffffc,
    down = 0xfffffffb,
    enter = 0xfffffffa,     // "return"
    backspace = 0xfffffff9, // "delete"
    escape = 0xfffffff8,
    tab = 0xfffffff7,
    page_up = 0xfffffff6,
    page_down = 0xfffffff5,
    home = 0xfffffff4,
    end = 0xfffffff3,
    func1 = 0xffffffef, // down to func12, one apart
    func12 = 0xffffffe4,
};
// F1 to F12; none for another number.
constexpr std::optional<special_key> function_key(int number) {
    if (number < 1 || number > 12)
        return std::nullopt;
    return static_cast<special_key>(static_cast<std::uint32_t>(special_key::func1) -
                                    static_cast<std::uint32_t>(number - 1));
}
// Glk's filemode_ values.
enum class file_mode : std::uint32_t { write = 1, read = 2, read_write = 3, write_append = 5 };
// Glk's fileusage_ types.
enum class file_type : std::uint32_t { data = 0, save = 1, transcript = 2, command = 3 };
// Glk's style_ values.
enum class style : std::uint32_t {
    normal,
    emphasized,
    preformatted,
    header,
    subheader,
    alert,
    note,
    blockquote,
    input, // the player's own line, echoed
    user1,
    user2,
};
// Glk's wintype_ values, of the windows the display is told of.
enum class window_type : std::uint32_t { buffer = 3, grid = 4, graphics = 5 };
// Glk's imagealign_ values.
enum class image_alignment : std::uint32_t {
    inline_up = 1,
    inline_down,
    inline_center,
    margin_left,
    margin_right,
};
// Why a file could not be written (our own addition to the protocol).
enum class failure_reason : std::uint32_t { disk_full, denied, other };

std::string_view name_of(special_key key);
std::string_view name_of(file_mode mode);
std::string_view name_of(file_type type);
std::string_view name_of(style s);
std::string_view name_of(window_type type);
std::string_view name_of(image_alignment alignment);
std::string_view name_of(failure_reason reason);

// The thing a name stands for; none for a name the protocol does not use.
template <class Thing> std::optional<Thing> named(std::string_view name);

} // namespace tw::glkote
