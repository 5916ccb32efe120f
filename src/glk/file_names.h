#pragma once
// File names that come from the game or the player, kept inside the
// working directory (the save folder).
#include "glk/glk_api.h"

#include <optional>
#include <string>
#include <string_view>

namespace tw::glk {

// A name the game gave glk_fileref_create_by_name (UTF-8), made safe: no
// separators, "..", control or reserved characters, no leading dots or
// trailing dots and spaces, no Windows device name; "null" when nothing is
// left. A name without an extension gets the usage's: .glkdata,
// .glksave, or .txt for transcripts and input records.
std::string game_file_name(std::string_view name, glui32 usage);

// A name the player typed at a file prompt, taken as given unless it could
// leave the folder (a separator, "..", a control character) or is empty.
std::optional<std::string> prompted_file_name(std::string_view name);

} // namespace tw::glk
