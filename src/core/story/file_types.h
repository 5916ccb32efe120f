#pragma once
// The kinds of story file that the desktop opens in Tallowick (Windows'
// file types), from the table of formats: every extension of a format that
// Tallowick plays, and the Blorb's, but for those other files share too.
#include <string>
#include <vector>

namespace tw {

struct story_file_type {
    std::string extension; // without its dot, lower case
    std::string key;       // names the type in the system's registry: letters and digits
    std::string name;      // what a screen reader says for the type: "Z-code story"
};

std::vector<story_file_type> story_file_types();

} // namespace tw
