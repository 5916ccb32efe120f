#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tw {

// Where story files and saves live: "games" in the working directory when
// such an entry exists (a portable copy), otherwise Tallowick in the user's
// documents folder, created when missing. Only that last folder is created,
// never its parents. None when it cannot be created.
std::optional<std::filesystem::path> choose_save_folder(const std::filesystem::path& cwd,
                                                        const std::filesystem::path& documents);

// The saves in `dir`, each by the name it was saved under: one ending in
// ".sav" (exactly, case-sensitively). Frotz 2.55 writes such a save as
// "<name>.sav.qzl", older interpreters as "<name>.sav"; either is listed
// once, by its ".sav" name. Sorted by name, so that every platform lists
// them alike; empty when `dir` cannot be listed.
std::vector<std::string> list_save_files(const std::filesystem::path& dir);

// Makes the save listed as `name` readable whichever way the interpreter
// spells it: when only one of "<name>" and "<name>.qzl" exists, it is copied
// to the other, so that saves made before stay playable.
void prepare_restore(const std::filesystem::path& dir, const std::string& name);

} // namespace tw
