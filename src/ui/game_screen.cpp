#include "ui/game_screen.h"

#include "core/interpreter/interpreter.h"
#include "core/story/saves.h"
#include "core/speech/speech.h"
#include "core/text/utf8.h"
#include "ui/accessibility.h"
#include "ui/dialogs/list_chooser.h"
#include "ui/dialogs/text_prompt.h"
#include "ui/main_frame.h"

#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace tw {
namespace {

// The output view: read-only, yet reachable with Tab like any control.
class output_text : public wxTextCtrl {
  public:
    using wxTextCtrl::wxTextCtrl;
    bool AcceptsFocusFromKeyboard() const override { return true; }
};

// How much of the interpreter's error text a message box can usefully hold.
constexpr size_t shown_error_limit = 4000;
// How long a game may take over its goodbye after a confirmed quit.
constexpr int quit_grace_ms = 1000;

} // namespace

game_screen::handler_scope::~handler_scope() {
    if (--screen.handler_depth == 0 && screen.over)
        screen.CallAfter(&game_screen::finish);
}

game_screen::game_screen(main_frame& frame, std::shared_ptr<game_session> session,
                         play_history& history, const std::filesystem::path& story)
    : wxPanel(&frame, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxWANTS_CHARS), frame(frame),
      session(std::move(session)), history(history), log(frame.save_folder(), story),
      quit_timer(this) {
    auto* column = new wxBoxSizer(wxVERTICAL);
    const int flags = wxEXPAND | wxALIGN_LEFT | wxALL;

    auto* input_row = new wxBoxSizer(wxHORIZONTAL);
    input_row->Add(new wxStaticText(this, wxID_ANY, "Input."), 0, flags, 5);
    command_field = new wxTextCtrl(this, wxID_ANY, wxString(), wxDefaultPosition, wxSize(400, 100),
                                   wxTE_PROCESS_ENTER);
    set_accessible_name(command_field, "Input.");
    command_field->Bind(wxEVT_TEXT_ENTER, &game_screen::on_enter, this);
    command_field->Bind(wxEVT_KEY_DOWN, &game_screen::on_command_key, this);
    command_field->Bind(wxEVT_CHAR, &game_screen::on_command_char, this);
    input_row->Add(command_field, 1, flags, 5);
    column->Add(input_row, 0, 0, 0);

    auto* output_row = new wxBoxSizer(wxHORIZONTAL);
    output_row->Add(new wxStaticText(this, wxID_ANY, "Output."), 0, flags, 5);
    output_view = new output_text(this, wxID_ANY, wxString(), wxDefaultPosition, wxSize(700, 700),
                                  wxTE_MULTILINE);
    output_view->SetEditable(false);
    make_caret_readable(output_view);
    set_accessible_name(output_view, "Output.");
    output_view->Bind(wxEVT_KEY_DOWN, &game_screen::on_output_key, this);
    output_view->Bind(wxEVT_SET_FOCUS, &game_screen::on_output_focus, this);
    output_row->Add(output_view, 1, flags, 5);
    column->Add(output_row, 0, 0, 0);
    SetSizer(column);
    change_text_size(0);

    // A game that has not left a second after a confirmed quit is asked to,
    // and half a second later made to.
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
        if (over)
            return;
        if (!asked_to_end) {
            asked_to_end = true;
            this->session->stop_interpreter(false);
            quit_timer.StartOnce(quit_grace_ms / 2);
        } else {
            this->session->stop_interpreter(true);
        }
    });
    this->session->listen(this);
}

game_screen::~game_screen() {
    quit_timer.Stop();
    session->end();
}

void game_screen::focus_command_field() {
    command_field->SetFocus();
}

void game_screen::take_output(std::vector<output_item>& items) {
    // One append for the whole batch: a flood of small segments would
    // otherwise cost one text-view update each.
    std::string shown;
    for (auto& item : items) {
        switch (item.kind) {
        case output_item::segment:
            history.turns.add_segment(item.raw);
            shown += item.shown;
            break;
        case output_item::status_line:
            status_line = std::move(item.raw);
            break;
        case output_item::line_input:
            waiting_for_key = false;
            break;
        case output_item::key_input:
            waiting_for_key = true;
            break;
        }
    }
    if (shown.empty())
        return;
    output_view->AppendText(wxString::FromUTF8(shown));
    log.add_output(shown);
    if (!log.writing() && !told_log_failure) {
        // Told once; the game goes on without it.
        told_log_failure = true;
        std::string note = "The transcript " + utf8_of(log.path()) + " could not be written.";
        speak(note);
        output_view->AppendText(wxString::FromUTF8(note + "\n"));
    }
}

void game_screen::show_command(const std::string& text) {
    // Each command on a line of its own, to tell which reply answered what;
    // shown, not said.
    output_view->AppendText(wxString::FromUTF8(command_lines(text)));
    log.add_command(text);
}

void game_screen::change_text_size(int steps) {
    wxFont font = command_field->GetFont();
    auto size = frame.change_text_size(steps, font.GetPointSize());
    if (!size)
        return;
    font.SetPointSize(*size);
    command_field->SetFont(font);
    output_view->SetFont(font);
    Layout();
}

void game_screen::game_over(std::string stderr_text) {
    over = true;
    error_text = std::move(stderr_text);
    if (handler_depth == 0)
        CallAfter(&game_screen::finish);
}

void game_screen::finish() {
    if (handler_depth > 0 || finishing)
        return;
    finishing = true;
    quit_timer.Stop();
    if (!error_text.empty()) {
        wxString text = wxString::FromUTF8(error_text);
        if (text.length() > shown_error_limit)
            text = text.Left(shown_error_limit) + "\n...";
        message_box(text, "Uh Oh.", wxOK | wxICON_INFORMATION);
    }
    // Emptied first: after a flood the view would go on laying its text out
    // while the panel waits to be deleted.
    output_view->ChangeValue(wxString());
    // The frame swaps the screens once this handler has returned.
    frame.CallAfter(&main_frame::show_first_screen);
}

void game_screen::on_enter(wxCommandEvent&) {
    handler_scope scope(*this);
    std::string command = command_field->GetValue().utf8_string();
    command_field->Clear();
    history.commands.add(command);
    sendline(command);
}

void game_screen::sendline(const std::string& command) {
    handler_scope scope(*this);
    std::string text = command;
    bool quitting = text == "quit";
    if (quitting) {
        if (message_box("Are you sure you wish to quit?", "Confirmation.", wxYES_NO) != wxYES)
            return;
        text += "\nyes";
    } else if (text == "save") {
        save_game();
        return;
    } else if (text == "restore") {
        restore_game();
        return;
    }
    if (over || !session->send(interpreter_line(text)))
        return;
    history.turns.close_turn();
    show_command(text);
    if (quitting)
        quit_timer.StartOnce(quit_grace_ms);
}

void game_screen::answer_key(const std::string& key) {
    waiting_for_key = false;
    if (!over)
        session->send(interpreter_key(key));
}

void game_screen::save_game() {
    wxString answer = ask(&frame, "What would you like to name your game?");
    if (answer.empty())
        return;
    sendline("save\n" + answer.utf8_string() + ".sav");
}

void game_screen::restore_game() {
    const auto& save_folder = frame.save_folder();
    auto files = list_save_files(save_folder);
    if (files.empty()) {
        message_box("There are no save files.", "Uh oh!", wxOK | wxICON_INFORMATION);
        return;
    }
    std::vector<wxString> choices;
    for (const auto& f : files)
        choices.push_back(wxString::FromUTF8(f));
    int index = choose_from_list("Please choose a save file.", choices, choices[0]);
    if (index < 0 || static_cast<size_t>(index) >= files.size())
        return;
    prepare_restore(save_folder, files[static_cast<size_t>(index)]);
    sendline("restore\n" + files[static_cast<size_t>(index)]);
}

} // namespace tw
