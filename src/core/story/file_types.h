#pragma once
// The kinds of story file that the desktop opens in Tallowick (Windows'
// file types): every extension that is particular to interactive fiction,
// never one that other files share, each with the name of its type.
#include <string>
#include <vector>

namespace tw {

struct story_file_type {
    std::string extension; // without its dot, lower case
    std::string key;       // names the type in the system's registry: letters only
    std::string name;      // what a screen reader says for the type: "Z-code story"
};

std::vector<story_file_type> story_file_types();

} // namespace tw
