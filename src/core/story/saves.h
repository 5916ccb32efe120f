#pragma once
// The saved games in the save folder, as the restore list shows them.
#include <filesystem>
#include <string>
#include <vector>

namespace tw {

// The saves in `dir`, each by the name it was saved under: one ending in
// ".sav" (exactly, case-sensitively). Frotz 2.55 as Debian ships it wrote
// such a save as "<name>.sav.qzl"; either spelling is listed once, by its
// ".sav" name. Sorted by name, so that every platform lists them alike;
// empty when `dir` cannot be listed.
std::vector<std::string> list_save_files(const std::filesystem::path& dir);

// Makes the save listed as `name` readable under that name: a save left as
// "<name>.qzl" by an earlier interpreter is copied to "<name>" when that is
// missing, so that saves made before stay playable.
void prepare_restore(const std::filesystem::path& dir, const std::string& name);

} // namespace tw
