#include "app/a11y.h"
#include "app/mywin.h"
#include "game/launch.h"
#include "game/segmenter.h"
#include "game/session_ui.h"
#include "speech/speech.h"

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <chrono>

namespace tw {
namespace {

// The output view: read-only, yet reachable with Tab like any control.
class outputview : public wxTextCtrl {
  public:
    using wxTextCtrl::wxTextCtrl;
    bool AcceptsFocusFromKeyboard() const override { return true; }
};

// How much of the interpreter's error text a message box can usefully hold.
constexpr size_t shown_error_limit = 4000;

// The most raw text the output view is given per event-loop turn. A flood
// is shown one such piece at a time, with the loop running in between, so
// the window keeps answering keys, timers and the close box however much
// the interpreter writes. (One segment longer than this still goes in
// whole.)
constexpr size_t view_piece = 64 * 1024;
// During a flood, after this long of pieces back to back, the next one
// waits this long (see take_output).
constexpr auto flood_burst = std::chrono::milliseconds(100);
constexpr auto flood_breather = std::chrono::milliseconds(15);

} // namespace

std::shared_ptr<game_session> game_session::create(std::unique_ptr<child_process> child) {
    std::shared_ptr<game_session> s(new game_session(std::move(child)));
    std::weak_ptr<game_session> weak = s;
    s->pump = std::make_unique<output_pump>([weak] {
        if (auto self = weak.lock())
            self->post([](game_session& g) {
                if (g.owner)
                    g.owner->take_output(g);
            });
    });
    s->more_timer.Bind(wxEVT_TIMER, [weak](wxTimerEvent&) {
        if (auto g = weak.lock(); g && g->owner)
            g->owner->take_output(*g);
    });
    s->process->on_exit([weak](int) {
        if (auto self = weak.lock())
            self->post([](game_session& g) {
                if (g.owner)
                    g.owner->end_game_if_over(g);
            });
    });
    return s;
}

void game_session::post(void (*f)(game_session&)) {
    if (!wxTheApp)
        return;
    wxTheApp->CallAfter([self = shared_from_this(), f] { f(*self); });
}

void game_session::start_reader(const std::filesystem::path& story) {
    reader = std::thread([this, name = reader_thread_name(story)] {
        name_this_thread(name);
        read_game(*process, *pump, [](const std::string& text) { speak(text); });
    });
}

void game_session::stop() {
    // Nobody takes from the pump any more; a reader waiting there for room
    // must not keep the join below waiting too.
    pump->abandon();
    if (!process->poll()) {
        process->terminate();
        // dfrotz leaves at once on SIGTERM; anything that lingers is forced.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (!process->poll() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        process->kill();
    }
    if (reader.joinable())
        reader.join();
}

game_session::~game_session() {
    pump->abandon();
    process->kill();
    if (reader.joinable())
        reader.join();
}

bool Mywin::launch_game(const std::filesystem::path& story) {
    std::error_code ec;
    auto interpreter = find_interpreter(std::filesystem::current_path(ec));
    if (!interpreter) {
        message_box("The game interpreter dfrotz could not be found.", "Uh oh!",
                    wxOK | wxICON_INFORMATION);
        return false;
    }
    // Absolute, so that the interpreter, which runs in the save directory,
    // still finds the story when the path was relative.
    auto absolute = std::filesystem::absolute(story, ec);
    std::string error;
    auto child = child_process::start(interpreter_launch(*interpreter, absolute, savepath), error);
    if (!child) {
        message_box(error, "Uh oh!", wxOK | wxICON_INFORMATION);
        return false;
    }
    retire_session();
    handle = game_session::create(std::move(child));
    handle->owner = this;
    path = story;
    if (panel)
        panel->Destroy();
    panel = nullptr;
    mainscreen();
    return true;
}

void Mywin::mainscreen() {
    panel = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxWANTS_CHARS);
    auto* column = new wxBoxSizer(wxVERTICAL);
    const int flags = wxEXPAND | wxALIGN_LEFT | wxALL;

    auto* input_row = new wxBoxSizer(wxHORIZONTAL);
    input_row->Add(new wxStaticText(panel, -1, "Input."), 0, flags, 5);
    t1 = new wxTextCtrl(panel, wxID_ANY, wxString(), wxDefaultPosition, wxSize(400, 100),
                        wxTE_PROCESS_ENTER);
    set_accessible_name(t1, "Input.");
    t1->Bind(wxEVT_TEXT_ENTER, &Mywin::process_enter, this);
    t1->Bind(wxEVT_KEY_DOWN, &Mywin::keypress2, this);
    input_row->Add(t1, 1, flags, 5);
    column->Add(input_row, 0, 0, 0);

    auto* output_row = new wxBoxSizer(wxHORIZONTAL);
    output_row->Add(new wxStaticText(panel, -1, "Output."), 0, flags, 5);
    t2 = new outputview(panel, wxID_ANY, wxString(), wxDefaultPosition, wxSize(700, 700),
                        wxTE_MULTILINE);
    t2->SetEditable(false);
    make_caret_readable(t2);
    set_accessible_name(t2, "Output.");
    t2->Bind(wxEVT_KEY_DOWN, &Mywin::keypress, this);
    t2->Bind(wxEVT_SET_FOCUS, &Mywin::shiftpos, this);
    output_row->Add(t2, 1, flags, 5);
    column->Add(output_row, 0, 0, 0);
    panel->SetSizer(column);

    showpanel(panel);
    Maximize();
    t1->SetFocus();
    game_screen_live = true;
    timer.Start(300);
    handle->start_reader(path);
}

void Mywin::take_output(game_session& session) {
    auto batch = session.pump->take(view_piece);
    bool current = &session == handle.get();
    // The pump sends no wake-up for what it still holds: a timer comes back
    // for it on the next turn of the event loop, after input and other
    // timers that are due. (A posted call would not do: wx runs every call
    // posted while it runs posted calls, all in one go.) Painting and posted
    // calls wait for a quiet loop, which back-to-back pieces never leave; so
    // every so often the next piece waits a little, and a flood without end
    // cannot starve them.
    if (batch.more) {
        auto now = std::chrono::steady_clock::now();
        if (now - session.last_breather > flood_burst) {
            session.last_breather = now + flood_breather;
            session.more_timer.StartOnce(static_cast<int>(flood_breather.count()));
        } else {
            session.more_timer.StartOnce(1);
        }
    } else {
        session.last_breather = std::chrono::steady_clock::now();
    }
    // The piece goes into the view in one append: a flood of small segments
    // would otherwise cost one text-view update each.
    std::string shown;
    for (const auto& raw : batch.raws) {
        if (current)
            turns.add_segment(raw);
        shown += clean_segment(raw);
    }
    if (current && game_screen_live && t2 && !shown.empty())
        t2->AppendText(wxString::FromUTF8(shown));
    if (batch.closed) {
        session.reader_done = true;
        session.stderr_text = std::move(batch.stderr_text);
        end_game_if_over(session);
    }
}

void Mywin::check_game_status(wxTimerEvent&) {
    // The reader's hand-offs are posted calls, which wx runs only when the
    // event loop is otherwise idle; a text view still laying out a flood
    // keeps it busy for seconds at a higher priority. Taking output here too
    // bounds how long new output can wait to one tick.
    if (handle && handle->owner == this && game_screen_live)
        take_output(*handle);
    if (handle)
        end_game_if_over(*handle);
}

void Mywin::end_game_if_over(game_session& session) {
    if (&session != handle.get() || !game_screen_live || !session.process->poll())
        return;
    // The reader ends soon after the interpreter (the process layer stops
    // waiting on pipes that a process left behind may hold); until the view
    // has taken its last piece of output, the game is not over for the
    // player.
    if (!session.reader_done)
        return;
    // A dialog opened from a key handler of the game screen runs its loop
    // inside that handler; tearing the screen down under it would leave the
    // handler on destroyed controls. The status timer tries again once the
    // handler has returned.
    if (in_game_handler > 0)
        return;
    // Stopped before the box: a tick while it is open would tear the screen
    // down twice.
    timer.Stop();
    game_screen_live = false;
    session.process->terminate();
    if (!session.stderr_text.empty()) {
        wxString text = wxString::FromUTF8(session.stderr_text);
        if (text.length() > shown_error_limit)
            text = text.Left(shown_error_limit) + "\n...";
        message_box(text, "Uh Oh.", wxOK | wxICON_INFORMATION);
    }
    // Emptied first: after a flood the view would go on laying its text out
    // (at a higher priority than the idle time in which wx deletes the
    // panel), keeping posted calls and the deletion itself waiting.
    if (t2)
        t2->ChangeValue(wxString());
    if (panel)
        panel->Destroy();
    panel = nullptr;
    t1 = t2 = nullptr;
    firstscreen();
}

void Mywin::process_enter(wxCommandEvent&) {
    game_handler_scope scope(*this);
    wxString value = t1->GetValue();
    t1->Clear();
    last_input = value.utf8_string();
    sendline(last_input);
}

void Mywin::sendline(const std::string& command) {
    std::string text = command;
    if (text == "quit") {
        if (message_box("Are you sure you wish to quit?", "Confirmation.", wxYES_NO) != wxYES)
            return;
        text += "\nyes";
    } else if (text == "save") {
        savedialog();
        return;
    } else if (text == "restore") {
        restoredialog();
        return;
    }
    if (!handle || !handle->process->write(interpreter_line(text)))
        return;
    turns.close_turn();
}

void Mywin::retire_session() {
    if (!handle)
        return;
    handle->owner = nullptr;
    handle->stop();
    handle.reset();
}

Mywin::~Mywin() {
    timer.Stop();
    retire_session();
}

} // namespace tw
