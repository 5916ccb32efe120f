// The file reference calls of the Glk API.
#include "core/platform/platform.h"
#include "glk/file_names.h"
#include "glk/library.h"
#include "glk/utf8.h"

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

using namespace tw::glk;

namespace {

frefid_t add_fileref(std::filesystem::path path, glui32 usage, glui32 rock) {
    return library::get().filerefs.add(
        std::make_unique<glk_fileref_struct>(std::move(path), usage, rock));
}

} // namespace

// Made at once, so that no other file can take its name, in the working
// folder (the save folder): the one folder the interpreter may write in.
frefid_t glk_fileref_create_temp(glui32 usage, glui32 rock) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path path = ".glk-temp-" + std::to_string(random());
        errno = 0;
        if (std::FILE* made = tw::create_new_file(path)) {
            std::fclose(made);
            library::get().temporary_files.push_back(path);
            return add_fileref(std::move(path), usage, rock);
        }
        if (errno != EEXIST)
            break;
    }
    return nullptr;
}

frefid_t glk_fileref_create_by_name(glui32 usage, char* name, glui32 rock) {
    if (!name)
        return nullptr;
    // The game's names are Latin-1.
    std::u32string latin1;
    for (const char* c = name; *c; ++c)
        latin1.push_back(static_cast<unsigned char>(*c));
    return add_fileref(path_from_utf8(game_file_name(to_utf8(latin1), usage)), usage, rock);
}

frefid_t glk_fileref_create_by_prompt(glui32 usage, glui32 fmode, glui32 rock) {
    auto answer = library::get().prompt_for_file(usage, fmode);
    if (!answer)
        return nullptr;
    auto name = prompted_file_name(*answer);
    return name ? add_fileref(path_from_utf8(*name), usage, rock) : nullptr;
}

frefid_t glk_fileref_create_from_fileref(glui32 usage, frefid_t fref, glui32 rock) {
    return fref ? add_fileref(fref->path, usage, rock) : nullptr;
}

void glk_fileref_destroy(frefid_t fref) {
    if (fref)
        library::get().filerefs.destroy(fref);
}

frefid_t glk_fileref_iterate(frefid_t fref, glui32* rockptr) {
    return library::get().filerefs.next(fref, rockptr);
}

glui32 glk_fileref_get_rock(frefid_t fref) {
    return fref ? fref->rock : 0;
}

void glk_fileref_delete_file(frefid_t fref) {
    std::error_code ignored;
    if (fref)
        std::filesystem::remove(fref->path, ignored);
}

glui32 glk_fileref_does_file_exist(frefid_t fref) {
    std::error_code error;
    return fref && std::filesystem::is_regular_file(fref->path, error) ? 1 : 0;
}

void glkunix_set_base_file(char*) {}

const char* glkunix_fileref_get_filename(frefid_t fref) {
    if (!fref)
        return nullptr;
    if (fref->stdio_name.empty()) {
        // Whole, or TADS 3 takes it as in the story's folder; and spelled
        // as the interpreter's own fopen() takes names (on Windows, in the
        // system's code page, by its 8.3 name where need be).
        std::error_code error;
        std::string problem;
        auto absolute = std::filesystem::absolute(fref->path, error);
        auto folder = tw::interpreter_story_path(absolute.parent_path(), problem);
        auto name = tw::interpreter_story_path(absolute.filename(), problem);
        if (!error && folder && name)
            fref->stdio_name = (*folder / *name).string();
    }
    return fref->stdio_name.c_str();
}
