#include "core/story/file_types.h"

namespace tw {

std::vector<story_file_type> story_file_types() {
    std::vector<story_file_type> types;
    for (const char* e : {"z1", "z2", "z3", "z4", "z5", "z6", "z7", "z8", "zblorb", "zlb"})
        types.push_back({e, "zcode", "Z-code story"});
    for (const char* e : {"ulx", "gblorb", "glb"})
        types.push_back({e, "glulx", "Glulx story"});
    // Either kind in a Blorb; which one is told from the content.
    for (const char* e : {"blb", "blorb"})
        types.push_back({e, "blorb", "Blorb story"});
    return types;
}

} // namespace tw
