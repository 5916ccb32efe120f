#include "core/game/session.h"

#include "core/platform/platform.h"
#include "core/speech/speech.h"

namespace tw {
namespace {

// The most text handed on per drain. (One segment longer than this still
// goes whole.)
constexpr size_t drain_piece = 64 * 1024;
// During a flood, after this long of pieces back to back, the next one waits
// this long, so that painting and input get their turn.
constexpr auto flood_burst = std::chrono::milliseconds(100);
constexpr auto flood_breather = std::chrono::milliseconds(15);
// What waits after a piece, when no breather is due: at once, but after the
// input and timers already waiting (a posted call would come before them).
constexpr auto next_piece = std::chrono::milliseconds(1);
// How long an interpreter asked to end may take before it is made to.
constexpr auto leaving_grace = std::chrono::milliseconds(500);

} // namespace

game_session::game_session(const interpreter_kind& kind, std::unique_ptr<child_process> child,
                           std::filesystem::path program, std::filesystem::path story,
                           std::string note)
    : interpreter(kind), program(std::move(program)), story(std::move(story)),
      note(std::move(note)), process(std::move(child)) {}

game_opening game_session::open(const game_start& start) {
    auto chosen = choose_interpreter(start.story, start.working_folder);
    if (!chosen.kind)
        return {nullptr, chosen.problem};
    std::error_code ec;
    // Absolute, so that the interpreter, which runs in the save folder,
    // still finds a story given by a relative path.
    auto whole = std::filesystem::absolute(start.story, ec);
    std::string problem;
    auto readable = chosen.kind->opens_any_name() ? std::optional(whole)
                                                  : interpreter_story_path(whole, problem);
    if (!readable)
        return {nullptr, problem};
    auto child = child_process::start(
        chosen.kind->launch(chosen.program, *readable, start.save_folder), problem);
    if (!child)
        return {nullptr, problem};
    std::shared_ptr<game_session> s(
        new game_session(*chosen.kind, std::move(child), chosen.program, start.story, start.note));
    s->send(s->interpreter.greeting());
    return {std::move(s), {}};
}

void game_session::start_reading(std::function<void()> wake) {
    pump = std::make_unique<output_pump>(std::move(wake));
    reader = std::thread([this, name = reader_thread_name(story)] {
        name_this_thread(name);
        auto say = [](const std::string& text) { speak(text); };
        // Tallowick's own words about the game come before the game's.
        for (auto& notice : {std::optional<std::string>(note), interpreter.notice(program)})
            if (notice && !notice->empty()) {
                say(*notice);
                pump->push({output_item::segment, *notice, *notice + "\n"});
            }
        read_game(*process, interpreter.decoder(), hearing_, *pump, say, story);
    });
}

std::optional<std::chrono::milliseconds> game_session::drain() {
    auto batch = pump->take(drain_piece);
    std::optional<std::chrono::milliseconds> again;
    auto now = std::chrono::steady_clock::now();
    if (batch.more) {
        bool breathe = now - last_breather > flood_burst;
        if (breathe)
            last_breather = now + flood_breather;
        again = breathe ? flood_breather : next_piece;
    } else {
        last_breather = now;
    }
    if (target && !batch.items.empty())
        target->take_output(batch.items);
    if (target && batch.closed)
        target->game_over(std::move(batch.stderr_text), process->poll());
    return again;
}

void game_session::end() {
    target = nullptr;
    if (pump)
        // Nobody takes from the pump any more; a reader waiting there for
        // room must not keep the join below waiting too.
        pump->abandon();
    process->terminate();
    // dfrotz leaves at once when asked; anything that lingers is forced.
    if (!process->wait_for_exit(leaving_grace))
        process->kill();
    if (reader.joinable())
        reader.join();
}

game_session::~game_session() {
    end();
}

} // namespace tw
