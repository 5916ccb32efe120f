#include "ui/game_session.h"

#include "core/interpreter/interpreter.h"
#include "core/platform/platform.h"
#include "core/speech/speech.h"
#include "ui/on_gui_thread.h"

namespace tw {
namespace {

// The most text the screen is given per turn of the event loop. (One
// segment longer than this still goes in whole.)
constexpr size_t view_piece = 64 * 1024;
// During a flood, after this long of pieces back to back, the next one waits
// this long, so that painting and input get their turn.
constexpr auto flood_burst = std::chrono::milliseconds(100);
constexpr auto flood_breather = std::chrono::milliseconds(15);

} // namespace

game_session::game_session(const interpreter_kind& kind, std::unique_ptr<child_process> child)
    : interpreter(kind), process(std::move(child)) {}

std::shared_ptr<game_session> game_session::start(const interpreter_kind& kind,
                                                  const std::filesystem::path& interpreter,
                                                  const std::filesystem::path& story,
                                                  const std::filesystem::path& save_folder,
                                                  const std::string& note, std::string& error) {
    std::error_code ec;
    // Absolute, so that the interpreter, which runs in the save folder,
    // still finds a story given by a relative path.
    auto whole = std::filesystem::absolute(story, ec);
    auto readable = kind.opens_any_name() ? std::optional(whole)
                                           : interpreter_story_path(whole, error);
    if (!readable)
        return nullptr;
    auto child = child_process::start(kind.launch(interpreter, *readable, save_folder), error);
    if (!child)
        return nullptr;
    std::shared_ptr<game_session> s(new game_session(kind, std::move(child)));
    s->send(kind.greeting());
    std::weak_ptr<game_session> weak = s;
    s->pump = std::make_unique<output_pump>(
        [weak] { then_on_gui_thread(weak, [](game_session& g) { g.drain(); }); });
    s->more_timer.Bind(wxEVT_TIMER, [weak](wxTimerEvent&) {
        if (auto g = weak.lock())
            g->drain();
    });
    auto say = [](const std::string& text) { speak(text); };
    s->reader = std::thread([s = s.get(), interpreter, name = reader_thread_name(story), say,
                             note, whole] {
        name_this_thread(name);
        // Tallowick's own words about the game come before the game's.
        for (auto& notice : {std::optional<std::string>(note), s->interpreter.notice(interpreter)})
            if (notice && !notice->empty()) {
                say(*notice);
                s->pump->push({output_item::segment, *notice, *notice + "\n"});
            }
        read_game(*s->process, s->interpreter.decoder(), s->hearing_, *s->pump, say, whole);
    });
    return s;
}

void game_session::drain() {
    auto self = shared_from_this();
    auto batch = pump->take(view_piece);
    // What is left gets no wake-up: a timer comes back for it, after input
    // and the other timers that are due (a posted call would run at once,
    // before them). Now and then the next piece waits a little longer, or
    // painting would never get a quiet loop during a flood without end.
    auto now = std::chrono::steady_clock::now();
    if (batch.more) {
        bool breathe = now - last_breather > flood_burst;
        if (breathe)
            last_breather = now + flood_breather;
        more_timer.StartOnce(breathe ? static_cast<int>(flood_breather.count()) : 1);
    } else {
        last_breather = now;
    }
    if (!target)
        return;
    if (!batch.items.empty())
        target->take_output(batch.items);
    if (batch.closed && target)
        target->game_over(std::move(batch.stderr_text), process->poll());
}

void game_session::end() {
    target = nullptr;
    more_timer.Stop();
    // Nobody takes from the pump any more; a reader waiting there for room
    // must not keep the join below waiting too.
    pump->abandon();
    process->terminate();
    // dfrotz leaves at once when asked; anything that lingers is forced.
    if (!process->wait_for_exit(std::chrono::milliseconds(500)))
        process->kill();
    if (reader.joinable())
        reader.join();
}

game_session::~game_session() {
    end();
}

} // namespace tw
