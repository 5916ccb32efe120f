#include "core/interpreter/glk_protocol.h"

#include "core/interpreter/dfrotz_rows.h"

#include <algorithm>
#include <set>

namespace tw {
namespace {

using glkote::window_type;

// One update larger than this is no update a game makes.
constexpr size_t update_limit = 64 << 20;
// The rock the Inform libraries give their status window (202; the story
// window's is 201, a quotation's 203).
constexpr std::uint32_t inform_status_rock = 202;

// The words of runs of content, as the player hears them: the echo of the
// player's own command is left out (Tallowick shows commands itself), and a
// picture is its description.
void add_runs(const std::vector<glkote::run>& runs, std::string& text) {
    for (auto& run : runs) {
        if (run.picture) {
            if (!run.picture->alttext.empty())
                text += (text.empty() || text.back() == ' ' ? "[Picture: " : " [Picture: ") +
                        run.picture->alttext + "]";
        } else if (run.style != glkote::style::input) {
            text += run.text;
        }
    }
}

// The links in runs of content in `window`: runs of one link together, each
// link by its words (a picture by its description).
std::vector<game_link> links_in(const std::vector<glkote::run>& runs, std::uint32_t window) {
    std::vector<game_link> links;
    std::uint32_t open = 0;
    for (auto& run : runs) {
        if (run.hyperlink != 0) {
            std::string words = run.picture ? "Picture: " + run.picture->alttext : run.text;
            if (run.hyperlink == open)
                links.back().text += words;
            else
                links.push_back({std::move(words), static_cast<int>(window), run.hyperlink});
        }
        open = run.hyperlink;
    }
    for (auto& link : links)
        link.text = collapse_spaces(link.text);
    std::erase_if(links, [](const game_link& l) { return l.text.empty(); });
    return links;
}

file_request::mode_t mode_of(std::optional<glkote::file_mode> mode) {
    if (!mode)
        return file_request::unknown_mode;
    return *mode == glkote::file_mode::read ? file_request::read : file_request::write;
}

file_request::usage_t usage_of(std::optional<glkote::file_type> type) {
    if (!type)
        return file_request::unknown_usage;
    switch (*type) {
    case glkote::file_type::save:
        return file_request::saved_game;
    case glkote::file_type::transcript:
        return file_request::transcript;
    case glkote::file_type::command:
        return file_request::commands;
    case glkote::file_type::data:
        return file_request::data;
    }
    return file_request::unknown_usage;
}

// What the player is told of a file the game could not write.
std::string failure_sentence(const glkote::file_failure& failure) {
    std::string why;
    switch (failure.reason) {
    case glkote::failure_reason::disk_full:
        why = "the disk is full.";
        break;
    case glkote::failure_reason::denied:
        why = "the save folder may not be written to.";
        break;
    case glkote::failure_reason::other:
        why = failure.detail.empty() ? "the system gave no reason." : failure.detail + ".";
        if (why[0] >= 'A' && why[0] <= 'Z')
            why[0] = static_cast<char>(why[0] - 'A' + 'a');
        break;
    }
    if (failure.type == glkote::file_type::save)
        return "The game could not be saved: " + why;
    return "The file " + failure.name + " could not be written: " + why;
}

glkote::special_key special_key_of(key_press::special_t special) {
    using glkote::special_key;
    switch (special) {
    case key_press::enter:
        return special_key::enter;
    case key_press::escape:
        return special_key::escape;
    case key_press::backspace:
        return special_key::backspace;
    case key_press::tab:
        return special_key::tab;
    case key_press::left:
        return special_key::left;
    case key_press::right:
        return special_key::right;
    case key_press::up:
        return special_key::up;
    case key_press::down:
        return special_key::down;
    case key_press::home:
        return special_key::home;
    case key_press::end:
        return special_key::end;
    case key_press::page_up:
        return special_key::page_up;
    case key_press::page_down:
    default:
        return special_key::page_down;
    }
}

} // namespace

glk_screen::glk_screen(glk_status_window status) : splitter(update_limit), status(status) {}

void glk_screen::fail(std::string why, std::vector<screen_event>& out) {
    failed = true;
    out.push_back({screen_event::failure, std::move(why)});
}

void glk_screen::feed(std::string_view text, std::vector<screen_event>& out) {
    if (failed)
        return;
    splitter.feed(text);
    for (std::string_view message;;) {
        switch (splitter.next(message)) {
        case glkote::message_splitter::status::more:
            return;
        case glkote::message_splitter::status::complete:
            take(message, out);
            if (failed)
                return;
            break;
        case glkote::message_splitter::status::not_an_object:
            return fail("The game interpreter sent something that is not a game's update.", out);
        case glkote::message_splitter::status::too_large:
            return fail("The game interpreter sent an update too large to be a game's.", out);
        }
    }
}

void glk_screen::finish(std::vector<screen_event>& out) {
    if (!failed && splitter.holds_part())
        fail("The game interpreter stopped in the middle of an update.", out);
}

bool glk_screen::is_status_window(std::uint32_t id, const window& w) const {
    if (w.type != window_type::grid || status == glk_status_window::none)
        return false;
    if (w.rock == inform_status_rock)
        return true;
    // Otherwise the topmost grid window, as status windows are.
    for (const auto& [other_id, other] : windows)
        if (other.type == window_type::grid && other_id != id && other.top < w.top)
            return false;
    return w.top == 0;
}

void glk_screen::take(std::string_view text, std::vector<screen_event>& out) {
    auto message = glkote::read_output(text);
    if (!message)
        return fail("The game interpreter sent an update that Tallowick cannot read.", out);
    if (auto* update = std::get_if<glkote::update>(&*message))
        return apply(*update, out);
    if (auto* error = std::get_if<glkote::error>(&*message))
        return fail(error->message.empty() ? "The game interpreter met an error." : error->message,
                    out);
    if (auto* failure = std::get_if<glkote::file_failure>(&*message))
        out.push_back({screen_event::write_failure, failure_sentence(*failure)});
}

void glk_screen::apply(glkote::update& update, std::vector<screen_event>& out) {
    // Sounds first: a sound starts with the text that comes with it, and
    // its description is heard then too.
    if (update.schannels) {
        screen_event e{screen_event::sounds};
        e.number = static_cast<long>(update.gen);
        e.channels = std::move(*update.schannels);
        out.push_back(std::move(e));
    }
    if (update.windows) {
        std::map<std::uint32_t, window> now;
        for (const auto& w : *update.windows) {
            window& entry = now[w.id];
            if (auto was = windows.find(w.id); was != windows.end())
                entry.lines = std::move(was->second.lines);
            entry.type = w.type;
            entry.rock = w.rock;
            entry.top = w.top;
            entry.left = w.left;
            entry.rows = w.type == window_type::grid ? w.rows : 0;
            entry.lines.resize(entry.rows);
            links.cut(static_cast<int>(w.id), entry.rows);
        }
        for (const auto& [id, w] : windows)
            if (!now.count(id))
                links.forget(static_cast<int>(id));
        windows = std::move(now);
        for (auto it = drawn.begin(); it != drawn.end();)
            it = windows.count(it->first) ? std::next(it) : drawn.erase(it);
    }

    // The text of the buffer windows, each window's apart, said after what
    // the grids now show, from the top down: a quotation's window above the
    // story comes before it.
    std::map<std::pair<double, std::uint32_t>, std::string> texts;
    std::vector<std::uint32_t> changed_grids;
    for (const auto& c : update.content) {
        auto it = windows.find(c.id);
        if (it == windows.end())
            continue;
        window& w = it->second;
        if (w.type == window_type::grid) {
            for (const auto& l : c.lines) {
                if (l.line >= w.lines.size())
                    continue;
                std::string text;
                add_runs(l.runs, text);
                w.lines[l.line] = collapse_spaces(text);
                links.set_line(static_cast<int>(c.id), l.line, links_in(l.runs, c.id));
            }
            if (std::find(changed_grids.begin(), changed_grids.end(), c.id) == changed_grids.end())
                changed_grids.push_back(c.id);
        } else if (w.type == window_type::buffer) {
            // A cleared window is not read again; only what comes after.
            if (c.clear)
                links.forget(static_cast<int>(c.id));
            std::string& story = texts[{w.top, c.id}];
            for (const auto& paragraph : c.text) {
                if (!paragraph.append && w.open_line)
                    story += "\n";
                w.open_line = true;
                add_runs(paragraph.runs, story);
                links.add(links_in(paragraph.runs, c.id));
            }
        } else {
            for (const auto& d : c.draws)
                if (d.kind == glkote::draw::picture)
                    add_runs({{glkote::style::normal, {}, d.drawn, 0}}, texts[{w.top, c.id}]);
        }
    }

    inputs.clear();
    std::set<int> awaiting_links;
    for (const auto& i : update.input) {
        if (i.hyperlink)
            awaiting_links.insert(static_cast<int>(i.window));
        if (i.type == glkote::input_entry::none && !i.hyperlink)
            continue;
        inputs.push_back({i.type == glkote::input_entry::line  ? input_request::line
                          : i.type == glkote::input_entry::key ? input_request::key
                                                               : input_request::link,
                          static_cast<int>(i.window), static_cast<long>(update.gen)});
    }
    bool waits_for_command = std::any_of(
        inputs.begin(), inputs.end(), [](const auto& r) { return r.kind == input_request::line; });

    for (std::uint32_t id : changed_grids) {
        window& w = windows[id];
        bool blank = std::all_of(w.lines.begin(), w.lines.end(),
                                 [](const std::string& l) { return l.empty(); });
        if (blank) {
            drawn.erase(id);
            continue;
        }
        bool status =
            is_status_window(id, w) &&
            (waits_for_command || w.rows <= (status_rows > 0 ? status_rows : likely_status_rows));
        if (status) {
            if (waits_for_command)
                status_rows = w.rows;
            std::string joined;
            for (const auto& l : w.lines)
                if (!l.empty())
                    joined += (joined.empty() ? "" : " ") + l;
            out.push_back({screen_event::status_line, std::move(joined)});
            drawn.erase(id);
            continue;
        }
        // A menu or a quotation: its lines, each once, and again only when
        // it changes.
        auto& said = drawn[id];
        said.resize(w.lines.size());
        for (size_t row = 0; row < w.lines.size(); ++row) {
            if (!w.lines[row].empty() && w.lines[row] != said[row])
                out.push_back({screen_event::drawn_line, w.lines[row]});
            said[row] = w.lines[row];
        }
    }
    std::string story;
    for (auto& [where, text] : texts) {
        if (text.empty())
            continue;
        // Another window's text starts a line of its own.
        if (!story.empty() && story.back() != '\n')
            story += "\n";
        story += text;
    }
    if (!story.empty())
        out.push_back({screen_event::story_text, std::move(story)});

    // Links in reading order: the windows from the top down, then from the
    // left.
    std::vector<std::pair<std::pair<double, double>, int>> places;
    for (const auto& [id, w] : windows)
        places.push_back({{w.top, w.left}, static_cast<int>(id)});
    std::sort(places.begin(), places.end());
    std::vector<int> reading_order;
    for (const auto& place : places)
        reading_order.push_back(place.second);
    if (auto now = links.choosable(reading_order, awaiting_links); now != choosable) {
        choosable = now;
        screen_event e{screen_event::link_choices};
        e.links = std::move(now);
        out.push_back(std::move(e));
    }

    if (update.timer) {
        screen_event e{screen_event::timer};
        e.number = *update.timer;
        out.push_back(std::move(e));
    }
    if (update.special_input) {
        screen_event e{screen_event::file_prompt};
        e.file.mode = mode_of(update.special_input->mode);
        e.file.usage = usage_of(update.special_input->type);
        e.file.generation = static_cast<long>(update.gen);
        out.push_back(std::move(e));
    }
    if (!inputs.empty()) {
        // A command first, then a key: a game that waits for a command and
        // a key (or a link) is waiting for a command, one that waits for a
        // key or a link for a key.
        auto wanted = std::min_element(inputs.begin(), inputs.end(),
                                       [](const auto& a, const auto& b) { return a.kind < b.kind; });
        screen_event e{screen_event::input_wait};
        e.input = *wanted;
        out.push_back(std::move(e));
    } else {
        // Waiting for no input at all, only for its timer (ADRIFT's
        // interpreter starts so): the timer's event must still name this
        // update.
        screen_event e{screen_event::input_wait};
        e.input = input_request{input_request::nothing, 0, static_cast<long>(update.gen)};
        out.push_back(std::move(e));
    }
}

std::string glk_greeting() {
    glkote::event init;
    init.type = glkote::event_type::init;
    init.gen = 0;
    init.measures = glkote::metrics{};
    init.measures->width = glk_screen_width;
    init.measures->height = glk_screen_height;
    init.support = {"timer", "graphics", "sounds", "hyperlinks"};
    return glkote::write(init);
}

namespace {

glkote::event answer(glkote::event_type type, long generation, int window = 0) {
    glkote::event e;
    e.type = type;
    e.gen = generation;
    e.window = static_cast<std::uint32_t>(window);
    return e;
}

} // namespace

std::string glk_line(std::string_view text, const input_request& request) {
    auto e = answer(glkote::event_type::line, request.generation, request.window);
    e.value = text;
    return glkote::write(e);
}

std::string glk_key(const key_press& key, const input_request& request) {
    auto e = answer(glkote::event_type::key, request.generation, request.window);
    if (key.special == key_press::none)
        e.value = key.text;
    else if (key.special == key_press::function)
        // No F-key past F12: a name the library takes for an unknown key.
        e.value = glkote::function_key(key.number)
                      ? glkote::name_of(*glkote::function_key(key.number))
                      : std::string_view();
    else
        e.value = glkote::name_of(special_key_of(key.special));
    return glkote::write(e);
}

std::string glk_link(const game_link& link, const input_request& request) {
    auto e = answer(glkote::event_type::hyperlink, request.generation, link.window);
    e.link = link.value;
    return glkote::write(e);
}

std::string glk_file_name(const std::optional<std::string>& name, const file_request& request) {
    auto e = answer(glkote::event_type::file_name, request.generation);
    e.file_name = name;
    return glkote::write(e);
}

std::string glk_timer(const input_request& request, std::string_view partial) {
    auto e = answer(glkote::event_type::timer, request.generation);
    if (request.kind == input_request::line && !partial.empty())
        e.partial.emplace_back(static_cast<std::uint32_t>(request.window), std::string(partial));
    return glkote::write(e);
}

} // namespace tw
