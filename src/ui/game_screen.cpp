#include "ui/game_screen.h"

#include "core/speech/speech.h"
#include "core/story/saves.h"
#include "core/story/story_file.h"
#include "core/text/utf8.h"
#include "ui/accessibility.h"
#include "ui/dialogs/list_chooser.h"
#include "ui/dialogs/text_prompt.h"
#include "ui/typing.h"

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

enum timer_ids { quit_timer_id = wxID_HIGHEST + 1, game_timer_id };

} // namespace

game_screen::handler_scope::~handler_scope() {
    if (--screen.handler_depth == 0 && screen.over)
        screen.CallAfter(&game_screen::finish);
}

game_screen::game_screen(wxWindow* parent, game_host& host, std::shared_ptr<game_session> session,
                         play_history& history, const std::filesystem::path& story)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxWANTS_CHARS), host(host),
      session(std::move(session)), kind(this->session->kind()), story(story), history(history),
      log(host.save_folder(), story), quit_timer(this, quit_timer_id),
      game_timer(this, game_timer_id) {
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
    output_view->Bind(wxEVT_CHAR, &game_screen::on_output_char, this);
    output_view->Bind(wxEVT_SET_FOCUS, &game_screen::on_output_focus, this);
    send_typing_to(output_view, command_field);
    output_row->Add(output_view, 1, flags, 5);
    column->Add(output_row, 0, 0, 0);
    SetSizer(column);
    change_text_size(0);

    // A game that has not left a second after a confirmed quit is asked to,
    // and half a second later made to.
    Bind(
        wxEVT_TIMER,
        [this](wxTimerEvent&) {
            if (over)
                return;
            if (!asked_to_end) {
                asked_to_end = true;
                this->session->stop_interpreter(false);
                quit_timer.StartOnce(quit_grace_ms / 2);
            } else {
                this->session->stop_interpreter(true);
            }
        },
        quit_timer_id);
    Bind(wxEVT_TIMER, &game_screen::on_game_timer, this, game_timer_id);
    this->session->listen(this);
}

game_screen::~game_screen() {
    quit_timer.Stop();
    game_timer.Stop();
    session->end();
}

void game_screen::focus_command_field() {
    command_field->SetFocus();
}

void game_screen::show(const std::string& text) {
    if (text.empty())
        return;
    output_view->AppendText(wxString::FromUTF8(text));
    log.add_output(text);
    if (!log.writing() && !told_log_failure) {
        // Told once; the game goes on without it.
        told_log_failure = true;
        std::string note = "The transcript " + utf8_of(log.path()) + " could not be written.";
        speak(note);
        output_view->AppendText(wxString::FromUTF8(note + "\n"));
    }
}

void game_screen::take_output(std::vector<output_item>& items) {
    // One append for a run of segments: a flood of small ones would
    // otherwise cost one text-view update each.
    std::string shown;
    auto flush = [&] {
        show(shown);
        shown.clear();
    };
    for (auto& item : items) {
        switch (item.kind) {
        case output_item::segment:
            history.turns.add_segment(item.raw);
            shown += item.shown;
            break;
        case output_item::status_line:
            status_line = std::move(item.raw);
            break;
        case output_item::input_wait:
            flush();
            waiting = item.input;
            if (item.input.kind != input_request::line)
                break;
            // A question of the interpreter's about a file we named is
            // past, one way or the other.
            file_to_name.reset();
            if (next_line_answer) {
                send_line(*next_line_answer);
                next_line_answer.reset();
            } else if (!typed_ahead.empty()) {
                std::string command = std::move(typed_ahead.front());
                typed_ahead.pop_front();
                send_line(command);
            }
            break;
        case output_item::file_prompt:
            shown += item.shown;
            flush();
            answer_file_prompt(item);
            break;
        case output_item::question:
            shown += item.shown;
            flush();
            answer_question(item);
            break;
        case output_item::timer:
            if (item.number > 0)
                game_timer.Start(static_cast<int>(item.number));
            else
                game_timer.Stop();
            break;
        case output_item::failure:
            // Told when the game has ended, as the interpreter's own errors.
            error_text += item.raw + "\n";
            session->stop_interpreter(false);
            break;
        }
    }
    flush();
}

void game_screen::show_command(const std::string& text) {
    // Each command on a line of its own, to tell which reply answered what;
    // shown, not said.
    output_view->AppendText(wxString::FromUTF8(command_lines(text)));
    log.add_command(text);
}

void game_screen::change_text_size(int steps) {
    wxFont font = command_field->GetFont();
    auto size = host.change_text_size(steps, font.GetPointSize());
    if (!size)
        return;
    font.SetPointSize(*size);
    command_field->SetFont(font);
    output_view->SetFont(font);
    Layout();
}

void game_screen::game_over(std::string stderr_text, std::optional<int> status) {
    over = true;
    error_text += stderr_text;
    // An interpreter that dies unasked, saying nothing, is still told of:
    // the player must not be left to guess why the game is gone.
    if (error_text.empty() && !quitting && status.value_or(0) != 0)
        error_text = status.value_or(0) > 128
                         ? "The game interpreter stopped unexpectedly, and the game with it."
                         : "The game interpreter stopped with an error, and the game with it.";
    game_timer.Stop();
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
    host.game_ended();
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
    if (command == "quit") {
        if (message_box("Are you sure you wish to quit?", "Confirmation.", wxYES_NO) != wxYES)
            return;
        // The game's own "Are you sure?" is answered for the player, and
        // not said: they have answered ours.
        quitting = true;
        // Nothing more is typed here: the focus the box gives back would
        // only have the field announced on the way to the first screen.
        command_field->Disable();
        session->heard().end_quietly();
        next_line_answer = "yes";
        send_line(command);
        quit_timer.StartOnce(quit_grace_ms);
    } else if (command == "save") {
        save_game();
    } else if (command == "restore") {
        restore_game();
    } else {
        send_line(command);
    }
}

void game_screen::send_line(const std::string& text) {
    if (over)
        return;
    bool ready = waiting && waiting->kind == input_request::line;
    if (!ready && !kind.takes_input_ahead()) {
        typed_ahead.push_back(text);
        return;
    }
    // Before it goes: the reply may come before send() has returned.
    session->heard().input_sent();
    if (!session->send(kind.line(text, waiting.value_or(input_request{}))))
        return;
    waiting.reset();
    history.turns.close_turn();
    show_command(text);
}

void game_screen::answer_key(const key_press& key) {
    if (over || !waiting)
        return;
    session->heard().input_sent();
    session->send(kind.key(key, *waiting));
    waiting.reset();
}

void game_screen::answer_file_prompt(const output_item& prompt) {
    auto answer = [&](const std::optional<std::string>& name) {
        if (name)
            show_command(*name);
        session->send(kind.file_name(name, prompt.file));
    };
    if (file_to_name && (prompt.file.mode == file_to_name->mode ||
                         prompt.file.mode == file_request::unknown_mode)) {
        answer(file_to_name->name);
        return;
    }
    // An interpreter that asks in words is answered in words: the player
    // hears its question and types the name. One that asks without them
    // (the Glk protocol) is answered through our own dialogs.
    if (!prompt.shown.empty()) {
        if (!quitting)
            speak(prompt.shown);
        return;
    }
    handler_scope scope(*this);
    if (prompt.file.usage == file_request::saved_game && prompt.file.mode == file_request::read)
        return answer(choose_save());
    bool saving = prompt.file.usage == file_request::saved_game;
    wxString name = ask(host.dialog_parent(), saving ? "What would you like to name your game?"
                                                     : "What would you like to name the file?");
    if (name.empty())
        return answer(std::nullopt);
    answer(name.utf8_string() + (saving ? ".sav" : ""));
}

void game_screen::answer_question(const output_item& question) {
    // The interpreter asks whether to overwrite a file the player named in
    // our dialog, where they have answered already; any other question is
    // the player's to hear and answer.
    if (!file_to_name) {
        if (!quitting)
            speak(question.shown);
        return;
    }
    show_command(file_to_name->replace ? "yes" : "no");
    session->send(kind.answer(file_to_name->replace));
}

void game_screen::save_game() {
    wxString answer = ask(host.dialog_parent(), "What would you like to name your game?");
    if (answer.empty())
        return;
    std::string name = answer.utf8_string() + ".sav";
    std::error_code ec;
    bool exists = std::filesystem::exists(host.save_folder() / path_from_utf8(name), ec);
    if (exists && message_box("A saved game named " + answer + " already exists. Replace it?",
                              "Confirmation.", wxYES_NO) != wxYES)
        return;
    file_to_name = named_file{name, file_request::write, exists};
    send_line("save");
}

std::optional<std::string> game_screen::choose_save() {
    const auto& save_folder = host.save_folder();
    auto files = list_save_files(save_folder);
    if (files.empty()) {
        message_box("There are no save files.", "Uh oh!", wxOK | wxICON_INFORMATION);
        return std::nullopt;
    }
    std::vector<wxString> choices;
    for (const auto& f : files)
        choices.push_back(wxString::FromUTF8(f));
    int index = choose_from_list("Please choose a save file.", choices, choices[0]);
    if (index < 0 || static_cast<size_t>(index) >= files.size())
        return std::nullopt;
    const auto& name = files[static_cast<size_t>(index)];
    prepare_restore(save_folder, name);
    // Told now, rather than by an interpreter that fails in its own words,
    // or not at all.
    if (auto misfit = save_misfit(save_folder / path_from_utf8(name), story)) {
        message_box(wxString::FromUTF8(*misfit), "Uh oh!", wxOK | wxICON_INFORMATION);
        return std::nullopt;
    }
    return name;
}

void game_screen::restore_game() {
    auto name = choose_save();
    if (!name)
        return;
    file_to_name = named_file{*name, file_request::read};
    send_line("restore");
}

void game_screen::on_game_timer(wxTimerEvent&) {
    // The game's clock ticks while the player thinks; what they have typed
    // so far stays in the field.
    if (over || !waiting)
        return;
    if (session->send(kind.timer(*waiting, command_field->GetValue().utf8_string())))
        waiting.reset();
}

} // namespace tw
