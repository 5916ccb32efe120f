#pragma once
// The interpreters Tallowick runs, one kind per story format, and the one
// place that knows how they differ: how each is found and started, what
// reads its output, and how the player's input is put to it. Everything
// after the reader (cutting, speech, the view, the histories, the keys) is
// the same for all.
#include "core/interpreter/process.h"
#include "core/interpreter/screen_event.h"
#include "core/story/story_file.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

class interpreter_kind {
  public:
    virtual ~interpreter_kind() = default;

    // The program's name, as it is looked for, and as the player is told
    // when it cannot be found.
    virtual std::string program() const = 0;
    // Where it is looked for, in order, with `cwd` the working directory.
    virtual std::vector<std::filesystem::path> places(const std::filesystem::path& cwd) const = 0;
    // How `interpreter` is started on `story` (an absolute path), in
    // `workdir`, the save folder: its command, confined to its game there
    // (confinement_for), whatever the kind.
    launch_options launch(const std::filesystem::path& interpreter,
                          const std::filesystem::path& story,
                          const std::filesystem::path& workdir) const;
    // A sentence for the player about this copy of the interpreter (an old
    // version, say), said once when the game starts; none when all is well.
    virtual std::optional<std::string> notice(const std::filesystem::path& interpreter) const = 0;

    // Whether it opens a story by any name the system allows; otherwise it
    // is given one in the system's code page (interpreter_story_path).
    virtual bool opens_any_name() const = 0;
    // Whether commands may be written before it waits for them (they wait
    // in its input), or must wait for it.
    virtual bool takes_input_ahead() const = 0;
    // Whether it asks for a file's name in words of its own, to be answered
    // by the player typing the name; otherwise our own dialogs ask.
    virtual bool asks_file_names_in_words() const = 0;
    // How long a game may take over its goodbye after a confirmed quit
    // before it is asked to end (and half as long again before it is made
    // to).
    virtual std::chrono::milliseconds quit_grace() const { return std::chrono::seconds(1); }

    // What reads its output.
    virtual std::unique_ptr<output_decoder> decoder() const = 0;
    // What it is sent before anything else.
    virtual std::string greeting() const = 0;

    // The player's input, as it is written to the interpreter to answer
    // `request`: a line, one key, a link chosen, the name of a file (none:
    // the player declined to give one), a yes or no to the interpreter's own
    // question, and a tick of the game's timer (with the command
    // half-typed).
    virtual std::string line(std::string_view text, const input_request& request) const = 0;
    virtual std::string key(const key_press& key, const input_request& request) const = 0;
    virtual std::string link(const game_link& link, const input_request& request) const = 0;
    virtual std::string file_name(const std::optional<std::string>& name,
                                  const file_request& request) const = 0;
    virtual std::string answer(bool yes) const = 0;
    virtual std::string timer(const input_request& request, std::string_view partial) const = 0;

  private:
    // Its command line, environment and folder, which launch() confines;
    // and in `confined`, if it reads files of its own besides its program
    // (data beside it), those as `readable`.
    virtual launch_options command(const std::filesystem::path& interpreter,
                                   const std::filesystem::path& story,
                                   const std::filesystem::path& workdir) const = 0;
};

// What the interpreter `program` playing `story` in `save_folder` may
// reach: the story and the files that travel with it (its format's
// companions) to read; the save folder to make, write and remove files in;
// and the stories kept anywhere in that folder, to read only.
confinement confinement_for(const std::filesystem::path& story,
                            const std::filesystem::path& save_folder, std::string_view program);

// The interpreter kind of `program`, the interpreter a format's row names;
// none when Tallowick has no such kind.
const interpreter_kind* interpreter_for(std::string_view program);

// The first of `kind`'s places that holds its program.
std::optional<std::filesystem::path> find_interpreter(const interpreter_kind& kind,
                                                      const std::filesystem::path& cwd);

// The interpreter that plays `story`, found from `cwd`, or a sentence for
// the player that says why none can: a file that no format's interpreter
// plays, or an interpreter that is not there.
struct interpreter_choice {
    const interpreter_kind* kind = nullptr;
    std::filesystem::path program;
    std::string problem;
};
interpreter_choice choose_interpreter(const std::filesystem::path& story,
                                      const std::filesystem::path& cwd);

// "Reading <story file name>": the name of a game's reader thread.
std::string reader_thread_name(const std::filesystem::path& story);

} // namespace tw
