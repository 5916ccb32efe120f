#include "ui/game_screen.h"

#include "core/speech/speech.h"
#include "ui/accessibility.h"
#include "ui/dialogs/list_chooser.h"
#include "ui/dialogs/text_prompt.h"
#include "ui/on_gui_thread.h"
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

// The controls' sizes before the frame is maximised over them.
const wxSize command_field_size(400, 100);
const wxSize output_view_size(700, 700);
constexpr int control_margin = 5;
// How much of the interpreter's error text a message box can usefully hold.
constexpr size_t shown_error_limit = 4000;

} // namespace

game_screen::handler_scope::~handler_scope() {
    if (--screen.handler_depth == 0 && screen.over)
        screen.CallAfter(&game_screen::finish);
}

game_screen::game_screen(wxWindow* parent, game_host& host, std::shared_ptr<game_session> session,
                         play_history& history, const std::filesystem::path& story)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxWANTS_CHARS), host(host),
      session(std::move(session)), history(history),
      conversation(*this->session, *this, history, host.save_folder(), story),
      alive(std::make_shared<game_screen*>(this)) {
    auto* column = new wxBoxSizer(wxVERTICAL);
    const int flags = wxEXPAND | wxALIGN_LEFT | wxALL;

    auto* input_row = new wxBoxSizer(wxHORIZONTAL);
    input_row->Add(new wxStaticText(this, wxID_ANY, "Input."), 0, flags, control_margin);
    command_field = new wxTextCtrl(this, wxID_ANY, wxString(), wxDefaultPosition,
                                   command_field_size, wxTE_PROCESS_ENTER);
    set_accessible_name(command_field, "Input.");
    command_field->Bind(wxEVT_TEXT_ENTER, &game_screen::on_enter, this);
    command_field->Bind(wxEVT_KEY_DOWN, &game_screen::on_command_key, this);
    command_field->Bind(wxEVT_CHAR, &game_screen::on_command_char, this);
    input_row->Add(command_field, 1, flags, control_margin);
    column->Add(input_row, 0, 0, 0);

    auto* output_row = new wxBoxSizer(wxHORIZONTAL);
    output_row->Add(new wxStaticText(this, wxID_ANY, "Output."), 0, flags, control_margin);
    output_view = new output_text(this, wxID_ANY, wxString(), wxDefaultPosition, output_view_size,
                                  wxTE_MULTILINE);
    output_view->SetEditable(false);
    make_caret_readable(output_view);
    set_accessible_name(output_view, "Output.");
    output_view->Bind(wxEVT_KEY_DOWN, &game_screen::on_output_key, this);
    output_view->Bind(wxEVT_CHAR, &game_screen::on_output_char, this);
    output_view->Bind(wxEVT_SET_FOCUS, &game_screen::on_output_focus, this);
    send_typing_to(output_view, command_field);
    output_row->Add(output_view, 1, flags, control_margin);
    column->Add(output_row, 0, 0, 0);
    SetSizer(column);
    change_text_size(0);

    game_timer.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
        handler_scope scope(*this);
        conversation.clock_rang(game_clock::game_timer);
    });
    quit_timer.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
        handler_scope scope(*this);
        conversation.clock_rang(game_clock::quit_grace);
    });
    drain_timer.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { drain(); });
    this->session->listen(&conversation);
    this->session->start_reading([weak = std::weak_ptr(alive)] {
        then_on_gui_thread(weak, [](game_screen* screen) { screen->drain(); });
    });
}

game_screen::~game_screen() {
    game_timer.Stop();
    quit_timer.Stop();
    drain_timer.Stop();
    session->end();
}

void game_screen::drain() {
    handler_scope scope(*this);
    // The session may be dropped by what the conversation does with it.
    auto keep = session;
    if (auto again = keep->drain())
        drain_timer.StartOnce(static_cast<int>(again->count()));
}

void game_screen::focus_command_field() {
    command_field->SetFocus();
}

void game_screen::show(const std::string& text) {
    output_view->AppendText(wxString::FromUTF8(text));
}

void game_screen::say(const std::string& text, bool at_once) {
    speak(text, at_once);
}

std::string game_screen::ask(const std::string& question) {
    return tw::ask(host.dialog_parent(), wxString::FromUTF8(question)).utf8_string();
}

bool game_screen::confirm(const std::string& question) {
    return message_box(wxString::FromUTF8(question), "Confirmation.", wxYES_NO) == wxYES;
}

std::optional<size_t> game_screen::choose(const std::string& title,
                                          const std::vector<std::string>& rows) {
    std::vector<wxString> choices;
    for (const auto& row : rows)
        choices.push_back(wxString::FromUTF8(row));
    int index = choose_from_list(wxString::FromUTF8(title), choices, choices.at(0));
    if (index < 0)
        return std::nullopt;
    return static_cast<size_t>(index);
}

void game_screen::tell(const std::string& text) {
    message_box(wxString::FromUTF8(text), "Uh oh!", wxOK | wxICON_INFORMATION);
}

std::string game_screen::half_typed() {
    return command_field->GetValue().utf8_string();
}

void game_screen::start_clock(game_clock clock, std::chrono::milliseconds after) {
    if (clock == game_clock::game_timer)
        game_timer.Start(static_cast<int>(after.count()));
    else
        quit_timer.StartOnce(static_cast<int>(after.count()));
}

void game_screen::stop_clock(game_clock clock) {
    (clock == game_clock::game_timer ? game_timer : quit_timer).Stop();
}

void game_screen::stop_typing() {
    // The focus the box gives back would only have the field announced on
    // the way to the first screen.
    command_field->Disable();
}

void game_screen::game_ended(const std::string& why) {
    over = true;
    problem = why;
    if (handler_depth == 0)
        CallAfter(&game_screen::finish);
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

void game_screen::finish() {
    if (handler_depth > 0 || finishing)
        return;
    finishing = true;
    if (!problem.empty()) {
        wxString text = wxString::FromUTF8(problem);
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
    conversation.enter(command);
}

} // namespace tw
