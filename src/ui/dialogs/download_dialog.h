#pragma once
// The download dialog, titled by the game it fetches: one focusable progress
// gauge named for the screen reader, fed by a worker thread. Closing it
// cancels the transfer at once.
#include <wx/string.h>

#include <filesystem>
#include <string>

namespace tw {

// Downloads `uri` into `target` with the dialog shown modally, titled
// "Downloading `game`.". Returns true when the file is in place; false after
// a failure, which has been told to the player, or a cancel, which needs no
// telling.
bool download(const std::filesystem::path& target, const std::string& uri, const wxString& game);

} // namespace tw
