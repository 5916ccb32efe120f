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

// Glulx: our glulxe, whose Glk library speaks the GlkOte protocol.
class glulxe_kind final : public interpreter_kind {
  public:
    std::string program() const override { return "glulxe"; }
    std::vector<std::filesystem::path> places(const std::filesystem::path& cwd) const override {
        // Only ours: any other glulxe draws on a terminal.
        return own_program_places(cwd, program());
    }
    launch_options command(const std::filesystem::path& interpreter,
                           const std::filesystem::path& story,
                           const std::filesystem::path& workdir) const override {
        return {{argument_of(interpreter), argument_of(story)}, {}, argument_of(workdir), {}};
    }
    std::optional<std::string> notice(const std::filesystem::path&) const override {
        return std::nullopt;
    }
    // Our Glk library reads its arguments as UTF-8 and opens files by them.
    bool opens_any_name() const override { return true; }
    // Each event names the input it answers.
    bool takes_input_ahead() const override { return false; }
    // The protocol asks for a file without words: our dialogs ask.
    bool asks_file_names_in_words() const override { return false; }
    std::unique_ptr<output_decoder> decoder() const override {
        return std::make_unique<glk_screen>();
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
    // Our Glk library asks no questions of its own.
    std::string answer(bool) const override { return {}; }
    std::string timer(const input_request& request, std::string_view partial) const override {
        return glk_timer(request, partial);
    }
};

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
    static const glulxe_kind glulxe;
    for (const interpreter_kind* kind : {static_cast<const interpreter_kind*>(&dfrotz),
                                         static_cast<const interpreter_kind*>(&glulxe)})
        if (kind->program() == program)
            return kind;
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
