#include "core/interpreter/interpreter.h"

#include "core/interpreter/dfrotz.h"
#include "core/interpreter/dfrotz_screen.h"
#include "core/interpreter/glk_protocol.h"
#include "core/platform/platform.h"
#include "core/text/utf8.h"

#include <algorithm>
#include <system_error>

namespace tw {
namespace {

// Z-code: our dfrotz, read from its screen rows.
class dfrotz_kind final : public interpreter_kind {
  public:
    std::string program() const override { return "dfrotz"; }
    std::vector<std::filesystem::path> places(const std::filesystem::path& cwd) const override {
        // Ours first; a system's dfrotz will do, if an older one is told of.
        auto found = own_program_places(cwd, program());
        for (auto& p : system_program_places(program()))
            found.push_back(std::move(p));
        return found;
    }
    launch_options command(const std::filesystem::path& interpreter,
                           const std::filesystem::path& story,
                           const std::filesystem::path& workdir) const override {
        return dfrotz::launch(interpreter, story, workdir);
    }
    std::optional<std::string> notice(const std::filesystem::path& interpreter) const override {
        return dfrotz::notice(interpreter);
    }
    // Frotz opens files with fopen, by names in the system's code page.
    bool opens_any_name() const override { return false; }
    bool takes_input_ahead() const override { return true; }
    // Its file prompts come as words on its screen.
    bool asks_file_names_in_words() const override { return true; }
    std::unique_ptr<output_decoder> decoder() const override {
        return std::make_unique<dfrotz_screen>(dfrotz::screen_width);
    }
    std::string greeting() const override { return {}; }
    std::string line(std::string_view text, const input_request&) const override {
        return dfrotz::line(text);
    }
    std::string key(const key_press& key, const input_request&) const override {
        return dfrotz::key(key);
    }
    // The Z-machine has no links.
    std::string link(const game_link&, const input_request&) const override { return {}; }
    std::string file_name(const std::optional<std::string>& name,
                          const file_request&) const override {
        // dfrotz reads the name as a line and takes an empty one for its
        // default; a name declined is one that names no file it can use.
        return dfrotz::line(name ? *name : std::string("."));
    }
    std::string answer(bool yes) const override { return yes ? "y\n" : "n\n"; }
    std::string timer(const input_request&, std::string_view) const override { return {}; }
};

// What sets apart the programs linked with our Glk library, which speaks
// the GlkOte protocol for every one of them: a row each.
struct glk_program {
    std::string_view name;
    // Whether it opens its story through the Glk library, by any name the
    // system allows; the others fopen() it, by a name in the system's code
    // page.
    bool opens_any_name;
    // Which window holds its status line.
    glk_status_window status;
    // Its options before the story.
    std::vector<std::string> options;
};

class glk_kind final : public interpreter_kind {
  public:
    explicit glk_kind(glk_program row) : row(std::move(row)) {}

    std::string program() const override { return std::string(row.name); }
    std::vector<std::filesystem::path> places(const std::filesystem::path& cwd) const override {
        // Only ours: any other build of these draws on a terminal or a window.
        return own_program_places(cwd, program());
    }
    launch_options command(const std::filesystem::path& interpreter,
                           const std::filesystem::path& story,
                           const std::filesystem::path& workdir) const override {
        std::vector<std::string> arguments{argument_of(interpreter)};
        arguments.insert(arguments.end(), row.options.begin(), row.options.end());
        arguments.push_back(argument_of(story));
        return {std::move(arguments), {}, argument_of(workdir), {}};
    }
    std::optional<std::string> notice(const std::filesystem::path&) const override {
        return std::nullopt;
    }
    bool opens_any_name() const override { return row.opens_any_name; }
    // Each event names the input it answers.
    bool takes_input_ahead() const override { return false; }
    // The protocol asks for a file without words: our dialogs ask.
    bool asks_file_names_in_words() const override { return false; }
    std::unique_ptr<output_decoder> decoder() const override {
        return std::make_unique<glk_screen>(row.status);
    }
    std::string greeting() const override { return glk_greeting(); }
    std::string line(std::string_view text, const input_request& request) const override {
        return glk_line(text, request);
    }
    std::string key(const key_press& key, const input_request& request) const override {
        return glk_key(key, request);
    }
    std::string link(const game_link& link, const input_request& request) const override {
        return glk_link(link, request);
    }
    std::string file_name(const std::optional<std::string>& name,
                          const file_request& request) const override {
        return glk_file_name(name, request);
    }
    // Our Glk library asks no questions of its own; what these interpreters
    // ask ("Do you really want to restore?") comes as a wait for a key.
    std::string answer(bool) const override { return {}; }
    std::string timer(const input_request& request, std::string_view partial) const override {
        return glk_timer(request, partial);
    }

  private:
    glk_program row;
};

constexpr auto top = glk_status_window::topmost_grid;
// Scott Adams' games and their kin draw the room, its exits and what is in
// it in the grid window at the top: what the player most needs to hear.
constexpr auto room_above = glk_status_window::none;

// Level 9's and Magnetic Scrolls' pictures are drawn a pixel at a time, all
// of it sent and none of it heard; so they are not drawn (-np; and no
// animation, -nx).
// clang-format off
const glk_kind glk_kinds[] = {
    glk_kind({"glulxe",   true,  top,        {}}),
    glk_kind({"git",      true,  top,        {}}),
    glk_kind({"tads",     false, top,        {}}),
    glk_kind({"hugo",     true,  top,        {}}),
    glk_kind({"scare",    true,  top,        {}}),
    glk_kind({"alan2",    false, top,        {}}),
    glk_kind({"alan3",    false, top,        {}}),
    glk_kind({"agility",  false, top,        {}}),
    glk_kind({"advsys",   true,  top,        {}}),
    glk_kind({"jacl",     false, top,        {}}),
    glk_kind({"level9",   false, top,        {"-np"}}),
    glk_kind({"magnetic", false, top,        {"-np", "-nx"}}),
    glk_kind({"scott",    false, room_above, {}}),
    glk_kind({"plus",     false, room_above, {}}),
    glk_kind({"taylor",   false, room_above, {}}),
};
// clang-format on

// More entries than any player's save folder holds: past them, stories in
// it are left unguarded rather than the game's start held up.
constexpr int save_folder_entries_looked_at = 10000;

} // namespace

launch_options interpreter_kind::launch(const std::filesystem::path& interpreter,
                                        const std::filesystem::path& story,
                                        const std::filesystem::path& workdir) const {
    auto options = command(interpreter, story, workdir);
    auto confined = confinement_for(story, workdir, program());
    // Files of its own it reads besides (a table beside its program).
    if (options.confined)
        confined.readable.insert(confined.readable.end(), options.confined->readable.begin(),
                                 options.confined->readable.end());
    options.confined = std::move(confined);
    return options;
}

confinement confinement_for(const std::filesystem::path& given_story,
                            const std::filesystem::path& given_folder,
                            std::string_view program) {
    // Absolute: the launcher reads them from the save folder, its working
    // directory, where a relative name would mean something else.
    std::error_code ec;
    const auto save_folder = std::filesystem::absolute(given_folder, ec).lexically_normal();
    const auto story = std::filesystem::absolute(given_story, ec).lexically_normal();
    confinement c;
    c.readable = {argument_of(story)};
    c.writable = argument_of(save_folder);
    auto stem_and_extension = [](const std::filesystem::path& p) {
        auto extension = ascii_lower(utf8_of(p.extension()));
        return std::pair{utf8_of(p.stem()), extension.empty() ? extension : extension.substr(1)};
    };
    // The files that travel with it, by the rows of the formats its
    // interpreter plays.
    const auto [story_stem, story_extension] = stem_and_extension(story);
    for (const auto& file : std::filesystem::directory_iterator(story.parent_path(), ec)) {
        const auto [stem, extension] = stem_and_extension(file.path());
        for (const auto& format : story_formats())
            if (format.program == program && file.path() != story &&
                companion_of(format, story_stem, story_extension, stem, extension) !=
                    companion_kind::none) {
                c.readable.push_back(argument_of(file.path()));
                break;
            }
    }
    // The stories kept anywhere in the save folder, and what travels with
    // them by name (not resources the game names, which it may write).
    // Symbolic links are not followed: what they point to is outside.
    std::filesystem::recursive_directory_iterator entry(save_folder, ec), end;
    for (int looked = 0; !ec && entry != end && looked < save_folder_entries_looked_at;
         entry.increment(ec), ++looked) {
        std::error_code ignored;
        const auto [stem, extension] = stem_and_extension(entry->path());
        bool kept = is_story_extension(extension) ||
                    std::filesystem::equivalent(entry->path(), story, ignored);
        for (const auto& format : story_formats())
            kept = kept || std::find(format.companions.named_as_story.begin(),
                                     format.companions.named_as_story.end(),
                                     extension) != format.companions.named_as_story.end();
        if (kept && entry->is_regular_file(ignored) &&
            !entry->is_symlink(ignored))
            c.kept.push_back(argument_of(entry->path()));
    }
    return c;
}

const interpreter_kind* interpreter_for(std::string_view program) {
    static const dfrotz_kind dfrotz;
    if (program == dfrotz.program())
        return &dfrotz;
    for (const auto& kind : glk_kinds)
        if (program == kind.program())
            return &kind;
    return nullptr;
}

std::optional<std::filesystem::path> find_interpreter(const interpreter_kind& kind,
                                                      const std::filesystem::path& cwd) {
    for (const auto& p : kind.places(cwd)) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(p, ec))
            return std::filesystem::absolute(p, ec).lexically_normal();
    }
    return std::nullopt;
}

interpreter_choice choose_interpreter(const std::filesystem::path& story,
                                      const std::filesystem::path& cwd) {
    auto checked = check_story(story);
    if (!checked.format)
        return {nullptr, {}, checked.problem};
    const auto* kind = interpreter_for(checked.format->program);
    auto program = kind ? find_interpreter(*kind, cwd) : std::nullopt;
    if (!program)
        return {nullptr,
                {},
                "The game interpreter " + std::string(checked.format->program) +
                    " could not be found."};
    return {kind, *program, {}};
}

std::string reader_thread_name(const std::filesystem::path& story) {
    return "Reading " + utf8_of(story.filename());
}

} // namespace tw
