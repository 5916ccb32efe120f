#include "core/glkote/names.h"

#include <array>
#include <utility>

namespace tw::glkote {
namespace {

template <class Thing, size_t n> using table = std::array<std::pair<Thing, std::string_view>, n>;

constexpr table<special_key, 24> keys = {{
    {special_key::left, "left"},      {special_key::right, "right"},
    {special_key::up, "up"},          {special_key::down, "down"},
    {special_key::enter, "return"},   {special_key::backspace, "delete"},
    {special_key::escape, "escape"},  {special_key::tab, "tab"},
    {special_key::page_up, "pageup"}, {special_key::page_down, "pagedown"},
    {special_key::home, "home"},      {special_key::end, "end"},
    {*function_key(1), "func1"},      {*function_key(2), "func2"},
    {*function_key(3), "func3"},      {*function_key(4), "func4"},
    {*function_key(5), "func5"},      {*function_key(6), "func6"},
    {*function_key(7), "func7"},      {*function_key(8), "func8"},
    {*function_key(9), "func9"},      {*function_key(10), "func10"},
    {*function_key(11), "func11"},    {*function_key(12), "func12"},
}};

constexpr table<file_mode, 4> file_modes = {{
    {file_mode::write, "write"},
    {file_mode::read, "read"},
    {file_mode::read_write, "readwrite"},
    {file_mode::write_append, "writeappend"},
}};

constexpr table<file_type, 4> file_types = {{
    {file_type::data, "data"},
    {file_type::save, "save"},
    {file_type::transcript, "transcript"},
    {file_type::command, "command"},
}};

constexpr table<style, 11> styles = {{
    {style::normal, "normal"},
    {style::emphasized, "emphasized"},
    {style::preformatted, "preformatted"},
    {style::header, "header"},
    {style::subheader, "subheader"},
    {style::alert, "alert"},
    {style::note, "note"},
    {style::blockquote, "blockquote"},
    {style::input, "input"},
    {style::user1, "user1"},
    {style::user2, "user2"},
}};

constexpr table<window_type, 3> window_types = {{
    {window_type::buffer, "buffer"},
    {window_type::grid, "grid"},
    {window_type::graphics, "graphics"},
}};

constexpr table<image_alignment, 5> alignments = {{
    {image_alignment::inline_up, "inlineup"},
    {image_alignment::inline_down, "inlinedown"},
    {image_alignment::inline_center, "inlinecenter"},
    {image_alignment::margin_left, "marginleft"},
    {image_alignment::margin_right, "marginright"},
}};

constexpr table<failure_reason, 3> reasons = {{
    {failure_reason::disk_full, "full"},
    {failure_reason::denied, "denied"},
    {failure_reason::other, "other"},
}};

template <class Thing, size_t n>
std::string_view name_in(const table<Thing, n>& names, Thing thing) {
    for (auto& [value, name] : names)
        if (value == thing)
            return name;
    return {};
}

template <class Thing, size_t n>
std::optional<Thing> thing_in(const table<Thing, n>& names, std::string_view wanted) {
    for (auto& [value, name] : names)
        if (name == wanted)
            return value;
    return std::nullopt;
}

} // namespace

// clang-format off
std::string_view name_of(special_key key) { return name_in(keys, key); }
std::string_view name_of(file_mode mode) { return name_in(file_modes, mode); }
std::string_view name_of(file_type type) { return name_in(file_types, type); }
std::string_view name_of(style s) { return name_in(styles, s); }
std::string_view name_of(window_type type) { return name_in(window_types, type); }
std::string_view name_of(image_alignment alignment) { return name_in(alignments, alignment); }
std::string_view name_of(failure_reason reason) { return name_in(reasons, reason); }

template <> std::optional<special_key> named(std::string_view n) { return thing_in(keys, n); }
template <> std::optional<file_mode> named(std::string_view n) { return thing_in(file_modes, n); }
template <> std::optional<file_type> named(std::string_view n) { return thing_in(file_types, n); }
template <> std::optional<style> named(std::string_view n) { return thing_in(styles, n); }
template <> std::optional<window_type> named(std::string_view n) { return thing_in(window_types, n); }
template <> std::optional<image_alignment> named(std::string_view n) { return thing_in(alignments, n); }
template <> std::optional<failure_reason> named(std::string_view n) { return thing_in(reasons, n); }
// clang-format on

} // namespace tw::glkote
