#include "core/story/file_types.h"

#include "core/story/formats.h"
#include "core/text/utf8.h"

#include <algorithm>

namespace tw {

std::vector<story_file_type> story_file_types() {
    std::vector<story_file_type> types;
    auto add = [&](std::string_view extension, std::string_view format) {
        // An extension of two formats ("taf" of ADRIFT and of ADRIFT 5)
        // opens as the first that Tallowick plays.
        if (is_shared_extension(extension) ||
            std::any_of(types.begin(), types.end(),
                        [&](const story_file_type& t) { return t.extension == extension; }))
            return;
        std::string key;
        for (char c : ascii_lower(format))
            if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
                key += c;
        types.push_back({std::string(extension), key, std::string(format) + " story"});
    };
    for (const auto& format : story_formats())
        if (!format.program.empty())
            for (auto extension : format.extensions)
                add(extension, format.name);
    for (auto extension : blorb_extensions)
        add(extension, "Blorb");
    return types;
}

} // namespace tw
