#include "core/game/conversation.h"

#include "core/story/saves.h"
#include "core/story/story_file.h"
#include "core/text/utf8.h"

namespace tw {

game_conversation::game_conversation(interpreter_link& interpreter, conversation_host& host,
                                     play_history& history, std::filesystem::path save_folder,
                                     const std::filesystem::path& story)
    : interpreter(interpreter), kind(interpreter.kind()), host(host), history(history),
      save_folder(std::move(save_folder)), story(story), log(this->save_folder, story) {}

void game_conversation::show(const std::string& text) {
    if (text.empty())
        return;
    host.show(text);
    log.add_output(text);
    if (!log.writing() && !told_log_failure) {
        // Told once; the game goes on without it.
        told_log_failure = true;
        std::string note = "The transcript " + utf8_of(log.path()) + " could not be written.";
        host.say(note, false);
        host.show(note + "\n");
    }
}

void game_conversation::show_command(const std::string& text) {
    // Each command on a line of its own, to tell which reply answered what;
    // shown, not said.
    host.show(command_lines(text));
    log.add_command(text);
}

void game_conversation::take_output(std::vector<output_item>& items) {
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
            waiting = last_wait = item.input;
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
                host.start_clock(game_clock::game_timer, std::chrono::milliseconds(item.number));
            else
                host.stop_clock(game_clock::game_timer);
            break;
        case output_item::link_choices:
            links = std::move(item.links);
            break;
        case output_item::failure:
            // Told when the game has ended, as the interpreter's own errors.
            problem += item.raw + "\n";
            interpreter.stop_interpreter(false);
            break;
        }
    }
    flush();
}

void game_conversation::game_over(std::string stderr_text, std::optional<int> status) {
    if (ended)
        return;
    ended = true;
    problem += stderr_text;
    // An interpreter that dies unasked, saying nothing, is still told of:
    // the player must not be left to guess why the game is gone.
    if (problem.empty() && !quitting && status.value_or(0) != 0)
        problem = status.value_or(0) > 128
                      ? "The game interpreter stopped unexpectedly, and the game with it."
                      : "The game interpreter stopped with an error, and the game with it.";
    host.stop_clock(game_clock::game_timer);
    host.stop_clock(game_clock::quit_grace);
    host.game_ended(problem);
}

void game_conversation::enter(const std::string& command_line) {
    history.commands.add(command_line);
    command(command_line);
}

void game_conversation::command(const std::string& text) {
    if (text == "save")
        return save();
    if (text == "restore")
        return restore();
    if (text != "quit")
        return send_line(text);
    if (!host.confirm("Are you sure you wish to quit?"))
        return;
    // The game's own "Are you sure?" is answered for the player, and not
    // said: they have answered ours.
    quitting = true;
    host.stop_typing();
    interpreter.heard().end_quietly();
    next_line_answer = "yes";
    send_line(text);
    // A game that does not understand "yes" (one in another language asks
    // again) is ended all the same.
    host.start_clock(game_clock::quit_grace, kind.quit_grace());
}

void game_conversation::send_line(const std::string& text) {
    if (ended)
        return;
    bool ready = waiting && waiting->kind == input_request::line;
    if (!ready && !kind.takes_input_ahead()) {
        typed_ahead.push_back(text);
        return;
    }
    // Before it goes: the reply may come before send() has returned.
    interpreter.heard().input_sent();
    if (!interpreter.send(kind.line(text, waiting.value_or(input_request{}))))
        return;
    input_went(text);
}

void game_conversation::input_went(const std::string& text) {
    waiting.reset();
    history.turns.close_turn();
    show_command(text);
}

bool game_conversation::waits_for_key() const {
    return waiting && waiting->kind == input_request::key;
}

bool game_conversation::press(const key_press& key) {
    if (ended || !waits_for_key())
        return false;
    // A command half typed is the player's: what they type, and the keys
    // that edit it, go on into it; Enter, Escape, Up or Down answers the
    // game.
    bool edits = key.special == key_press::none || key.special == key_press::backspace ||
                 key.special == key_press::left || key.special == key_press::right ||
                 key.special == key_press::home || key.special == key_press::end;
    if (edits && !host.half_typed().empty())
        return false;
    interpreter.heard().input_sent();
    interpreter.send(kind.key(key, *waiting));
    waiting.reset();
    return true;
}

void game_conversation::choose_link() {
    if (ended)
        return;
    if (!waiting || links.empty()) {
        host.say("There are no links.", true);
        return;
    }
    const auto offered = links;
    const long generation = waiting->generation;
    std::vector<std::string> texts;
    for (const auto& link : offered)
        texts.push_back(link.text);
    auto index = host.choose("Please choose a link.", texts);
    // The game may have moved on while the list was open: a link of an
    // earlier screen is not sent.
    if (!index || *index >= offered.size() || !waiting || waiting->generation != generation ||
        links != offered)
        return;
    const auto& chosen = offered[*index];
    interpreter.heard().input_sent();
    if (interpreter.send(kind.link(chosen, *waiting)))
        input_went(chosen.text);
}

void game_conversation::answer_file_prompt(const output_item& prompt) {
    auto answer = [&](const std::optional<std::string>& name) {
        if (name)
            show_command(*name);
        interpreter.send(kind.file_name(name, prompt.file));
    };
    if (file_to_name && (prompt.file.mode == file_to_name->mode ||
                         prompt.file.mode == file_request::unknown_mode)) {
        answer(file_to_name->name);
        return;
    }
    // A prompt the game made itself: an interpreter that asks in words is
    // answered in words, the player typing the name after its question.
    if (kind.asks_file_names_in_words()) {
        if (!quitting)
            host.say(prompt.shown, false);
        return;
    }
    if (prompt.file.usage == file_request::saved_game && prompt.file.mode == file_request::read)
        return answer(choose_save());
    bool saving = prompt.file.usage == file_request::saved_game;
    std::string name = host.ask(saving ? "What would you like to name your game?"
                                       : "What would you like to name the file?");
    if (name.empty())
        return answer(std::nullopt);
    answer(name + (saving ? ".sav" : ""));
}

void game_conversation::answer_question(const output_item& question) {
    // The interpreter asks whether to overwrite a file the player named in
    // our dialog, where they have answered already; any other question is
    // the player's to hear and answer.
    if (!file_to_name) {
        if (!quitting)
            host.say(question.shown, false);
        return;
    }
    show_command(file_to_name->replace ? "yes" : "no");
    interpreter.send(kind.answer(file_to_name->replace));
}

void game_conversation::save() {
    std::string answer = host.ask("What would you like to name your game?");
    if (answer.empty())
        return;
    std::string name = answer + ".sav";
    std::error_code ec;
    bool exists = std::filesystem::exists(save_folder / path_from_utf8(name), ec);
    if (exists && !host.confirm("A saved game named " + answer + " already exists. Replace it?"))
        return;
    file_to_name = named_file{name, file_request::write, exists};
    send_line("save");
}

std::optional<std::string> game_conversation::choose_save() {
    auto files = list_save_files(save_folder);
    if (files.empty()) {
        host.tell("There are no save files.");
        return std::nullopt;
    }
    auto index = host.choose("Please choose a save file.", files);
    if (!index || *index >= files.size())
        return std::nullopt;
    const auto& name = files[*index];
    prepare_restore(save_folder, name);
    // Told now, rather than by an interpreter that fails in its own words,
    // or not at all.
    if (auto misfit = save_misfit(save_folder / path_from_utf8(name), story)) {
        host.tell(*misfit);
        return std::nullopt;
    }
    return name;
}

void game_conversation::restore() {
    auto name = choose_save();
    if (!name)
        return;
    file_to_name = named_file{*name, file_request::read};
    send_line("restore");
}

void game_conversation::clock_rang(game_clock clock) {
    if (ended)
        return;
    if (clock == game_clock::quit_grace) {
        // Asked to leave first, then made to.
        if (!asked_to_end) {
            asked_to_end = true;
            interpreter.stop_interpreter(false);
            host.start_clock(game_clock::quit_grace, kind.quit_grace() / 2);
        } else {
            interpreter.stop_interpreter(true);
        }
        return;
    }
    // The game's clock ticks while the player thinks, whatever the game
    // waits for; what they have typed so far stays where it is. It ticks
    // too while the game is busy, for a game that looks for its ticks
    // meanwhile: the tick names the game's last wait.
    if (!waiting) {
        interpreter.send(kind.timer({input_request::nothing, 0, last_wait.generation}, {}));
        return;
    }
    if (interpreter.send(kind.timer(*waiting, host.half_typed())))
        waiting.reset();
}

void game_conversation::speak_status_line() {
    host.say(status_line.empty() ? "There is no status line." : status_line, true);
}

} // namespace tw
