#include "core/interpreter/glk_protocol.h"

#include "core/interpreter/dfrotz_rows.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <cstdint>
#include <limits>

namespace tw {
namespace {

using json = nlohmann::json;

// One update larger than this is no update a game makes.
constexpr size_t update_limit = 64 << 20;
// The rock the Inform libraries give their status window (202; the story
// window's is 201, a quotation's 203).
constexpr long inform_status_rock = 202;

const json* member(const json& j, const char* key) {
    auto it = j.find(key);
    return it == j.end() ? nullptr : &*it;
}

std::string text_of(const json& j, const char* key) {
    const json* m = member(j, key);
    return m && m->is_string() ? m->get<std::string>() : std::string();
}

// The protocol's numbers are integers: a fraction, or one past a long's
// range (converting it would be undefined), counts as missing.
long number_of(const json& j, const char* key, long otherwise = 0) {
    const json* m = member(j, key);
    if (m && m->is_number_unsigned()) {
        auto n = m->get<std::uint64_t>();
        return n <= static_cast<std::uint64_t>(std::numeric_limits<long>::max())
                   ? static_cast<long>(n)
                   : otherwise;
    }
    if (m && m->is_number_integer()) {
        auto n = m->get<std::int64_t>();
        return n >= std::numeric_limits<long>::min() && n <= std::numeric_limits<long>::max()
                   ? static_cast<long>(n)
                   : otherwise;
    }
    return otherwise;
}

bool flag_of(const json& j, const char* key) {
    const json* m = member(j, key);
    return m && m->is_boolean() && m->get<bool>();
}

const json& list_of(const json& j, const char* key) {
    static const json empty = json::array();
    const json* m = member(j, key);
    return m && m->is_array() ? *m : empty;
}

// The words of a run of content, as the player hears them: the echo of the
// player's own command is left out (Tallowick shows commands itself), and a
// picture is its description.
void add_run(const json& run, std::string& text) {
    if (!run.is_object())
        return;
    if (const json* special = member(run, "special")) {
        if (special->is_string() && *special == "image") {
            auto description = text_of(run, "alttext");
            if (!description.empty())
                text += (text.empty() || text.back() == ' ' ? "[Picture: " : " [Picture: ") +
                        description + "]";
        }
        return;
    }
    if (text_of(run, "style") != "input")
        text += text_of(run, "text");
}

// A link's value: a Glk link value, never 0.
std::uint32_t link_value_of(const json& run) {
    const json* m = member(run, "hyperlink");
    if (!m || !m->is_number_unsigned())
        return 0;
    auto n = m->get<std::uint64_t>();
    return n <= std::numeric_limits<std::uint32_t>::max() ? static_cast<std::uint32_t>(n) : 0;
}

// The links of a run list in `window`: runs of one link together, each link
// by its words (a picture by its description).
std::vector<game_link> links_in(const json& content, int window) {
    std::vector<game_link> links;
    if (!content.is_array())
        return links;
    std::uint32_t open = 0;
    for (const auto& run : content) {
        std::uint32_t value = run.is_object() ? link_value_of(run) : 0;
        if (value != 0) {
            std::string words = member(run, "special") ? "Picture: " + text_of(run, "alttext")
                                                       : text_of(run, "text");
            if (value == open)
                links.back().text += words;
            else
                links.push_back({std::move(words), window, value});
        }
        open = value;
    }
    for (auto& link : links)
        link.text = collapse_spaces(link.text);
    std::erase_if(links, [](const game_link& l) { return l.text.empty(); });
    return links;
}

// A run list is objects, or (in GlkOte's older form) style and text by
// turns.
std::string line_text(const json& content) {
    std::string text;
    if (!content.is_array())
        return text;
    for (size_t i = 0; i < content.size(); ++i) {
        if (content[i].is_string() && i + 1 < content.size() && content[i + 1].is_string()) {
            if (content[i] != "input")
                text += content[i + 1].get<std::string>();
            ++i;
        } else {
            add_run(content[i], text);
        }
    }
    return text;
}

file_request::mode_t mode_of(const std::string& filemode) {
    if (filemode == "read")
        return file_request::read;
    if (filemode == "write" || filemode == "writeappend" || filemode == "readwrite")
        return file_request::write;
    return file_request::unknown_mode;
}

file_request::usage_t usage_of(const std::string& filetype) {
    if (filetype == "save")
        return file_request::saved_game;
    if (filetype == "transcript")
        return file_request::transcript;
    if (filetype == "command")
        return file_request::commands;
    if (filetype == "data")
        return file_request::data;
    return file_request::unknown_usage;
}

// Events in the order GlkOte writes their members.
using event_json = nlohmann::ordered_json;

std::string dump(const event_json& event) {
    return event.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace

void glk_screen::fail(std::string why, std::vector<screen_event>& out) {
    failed = true;
    pending.clear();
    out.push_back({screen_event::failure, std::move(why)});
}

void glk_screen::feed(std::string_view text, std::vector<screen_event>& out) {
    if (failed)
        return;
    pending.append(text);
    // Objects come one after another; a brace outside any string opens or
    // closes one.
    size_t start = 0;
    for (size_t i = scanned; i < pending.size(); ++i) {
        char c = pending[i];
        if (in_string) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                in_string = false;
            continue;
        }
        if (depth == 0) {
            if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
                start = i + 1;
                continue;
            }
            if (c != '{')
                return fail("The game interpreter sent something that is not a game's update.",
                            out);
        }
        if (c == '"') {
            in_string = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if ((c == '}' || c == ']') && --depth == 0) {
            take(std::string_view(pending).substr(start, i + 1 - start), out);
            if (failed)
                return;
            start = i + 1;
        }
    }
    pending.erase(0, start);
    scanned = pending.size();
    if (pending.size() > update_limit)
        fail("The game interpreter sent an update too large to be a game's.", out);
}

void glk_screen::finish(std::vector<screen_event>& out) {
    if (!failed && pending.find_first_not_of(" \t\r\n") != std::string::npos)
        fail("The game interpreter stopped in the middle of an update.", out);
}

bool glk_screen::is_status_window(long id, const window& w) const {
    if (w.type != "grid")
        return false;
    if (w.rock == inform_status_rock)
        return true;
    // Otherwise the topmost grid window, as status windows are.
    for (const auto& [other_id, other] : windows)
        if (other.type == "grid" && other_id != id && other.top < w.top)
            return false;
    return w.top == 0;
}

void glk_screen::take(std::string_view text, std::vector<screen_event>& out) {
    json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object())
        return fail("The game interpreter sent an update that Tallowick cannot read.", out);
    try {
        auto type = text_of(doc, "type");
        if (type == "error") {
            auto message = text_of(doc, "message");
            return fail(message.empty() ? "The game interpreter met an error." : message, out);
        }
        if (type != "update")
            return;
        const long generation = number_of(doc, "gen");

        if (const json* list = member(doc, "windows"); list && list->is_array()) {
            std::map<long, window> now;
            for (const auto& w : *list) {
                long id = number_of(w, "id", -1);
                window& entry = now[id];
                if (auto was = windows.find(id); was != windows.end())
                    entry.lines = std::move(was->second.lines);
                entry.type = text_of(w, "type");
                entry.rock = number_of(w, "rock");
                entry.top = number_of(w, "top");
                entry.left = number_of(w, "left");
                entry.rows = static_cast<size_t>(std::max(0L, number_of(w, "gridheight")));
                entry.lines.resize(entry.type == "grid" ? entry.rows : 0);
                links.cut(static_cast<int>(id), entry.lines.size());
            }
            for (const auto& [id, w] : windows)
                if (!now.count(id))
                    links.forget(static_cast<int>(id));
            windows = std::move(now);
            for (auto it = drawn.begin(); it != drawn.end();)
                it = windows.count(it->first) ? std::next(it) : drawn.erase(it);
        }

        // The text of the buffer windows, each window's apart, said after
        // what the grids now show, from the top down: a quotation's window
        // above the story comes before it.
        std::map<std::pair<long, long>, std::string> texts;
        std::vector<long> changed_grids;
        for (const auto& c : list_of(doc, "content")) {
            long id = number_of(c, "id", -1);
            auto it = windows.find(id);
            if (it == windows.end())
                continue;
            window& w = it->second;
            if (w.type == "grid") {
                for (const auto& l : list_of(c, "lines")) {
                    long row = number_of(l, "line", -1);
                    const json* content = member(l, "content");
                    if (row < 0 || static_cast<size_t>(row) >= w.lines.size())
                        continue;
                    w.lines[static_cast<size_t>(row)] =
                        collapse_spaces(content ? line_text(*content) : std::string());
                    links.set_line(static_cast<int>(id), static_cast<size_t>(row),
                                   content ? links_in(*content, static_cast<int>(id))
                                           : std::vector<game_link>());
                }
                if (std::find(changed_grids.begin(), changed_grids.end(), id) ==
                    changed_grids.end())
                    changed_grids.push_back(id);
            } else if (w.type == "buffer") {
                // A cleared window is not read again; only what comes after.
                if (flag_of(c, "clear"))
                    links.forget(static_cast<int>(id));
                std::string& story = texts[{w.top, id}];
                for (const auto& paragraph : list_of(c, "text")) {
                    if (!paragraph.is_object())
                        continue;
                    if (!flag_of(paragraph, "append") && w.open_line)
                        story += "\n";
                    w.open_line = true;
                    if (const json* content = member(paragraph, "content")) {
                        story += line_text(*content);
                        links.add(links_in(*content, static_cast<int>(id)));
                    }
                }
            } else {
                for (const auto& d : list_of(c, "draw"))
                    add_run(d, texts[{w.top, id}]);
            }
        }

        inputs.clear();
        std::set<int> awaiting_links;
        for (const auto& i : list_of(doc, "input")) {
            auto type = text_of(i, "type");
            input_request r;
            r.kind = type == "line"   ? input_request::line
                     : type == "char" ? input_request::key
                                      : input_request::link;
            r.window = static_cast<int>(number_of(i, "id"));
            r.generation = generation;
            if (flag_of(i, "hyperlink"))
                awaiting_links.insert(r.window);
            if (r.kind != input_request::link || flag_of(i, "hyperlink"))
                inputs.push_back(r);
        }
        bool waits_for_command = std::any_of(inputs.begin(), inputs.end(), [](const auto& r) {
            return r.kind == input_request::line;
        });

        for (long id : changed_grids) {
            window& w = windows[id];
            bool blank = std::all_of(w.lines.begin(), w.lines.end(),
                                     [](const std::string& l) { return l.empty(); });
            if (blank) {
                drawn.erase(id);
                continue;
            }
            bool status =
                is_status_window(id, w) &&
                (waits_for_command ||
                 w.rows <= (status_rows > 0 ? status_rows : likely_status_rows));
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
            // A menu or a quotation: its lines, each once, and again only
            // when it changes.
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

        std::vector<std::pair<std::pair<long, long>, int>> places;
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

        if (member(doc, "timer")) {
            screen_event e{screen_event::timer};
            e.number = std::max(0L, number_of(doc, "timer"));
            out.push_back(std::move(e));
        }
        if (const json* special = member(doc, "specialinput");
            special && special->is_object() && text_of(*special, "type") == "fileref_prompt") {
            screen_event e{screen_event::file_prompt};
            e.file.mode = mode_of(text_of(*special, "filemode"));
            e.file.usage = usage_of(text_of(*special, "filetype"));
            e.file.generation = generation;
            out.push_back(std::move(e));
        }
        if (!inputs.empty()) {
            // A command first, then a key: a game that waits for a command
            // and a key is waiting for a command, one that waits for a key
            // or a link for a key.
            auto wanted = std::min_element(inputs.begin(), inputs.end(),
                                           [](const auto& a, const auto& b) { return a.kind < b.kind; });
            screen_event e{screen_event::input_wait};
            e.input = *wanted;
            out.push_back(std::move(e));
        } else if (member(doc, "input")) {
            // Waiting for no input at all, only for its timer (ADRIFT's
            // interpreter starts so): the timer's event must still name
            // this update.
            screen_event e{screen_event::input_wait};
            e.input = input_request{input_request::nothing, 0, generation};
            out.push_back(std::move(e));
        }
    } catch (const json::exception&) {
        fail("The game interpreter sent an update that Tallowick cannot read.", out);
    }
}

std::string glk_greeting() {
    event_json metrics = {{"width", glk_screen_width},  {"height", glk_screen_height},
                    {"charwidth", 1},              {"charheight", 1},
                    {"gridcharwidth", 1},          {"gridcharheight", 1},
                    {"buffercharwidth", 1},        {"buffercharheight", 1}};
    return dump({{"type", "init"},
                 {"gen", 0},
                 {"metrics", metrics},
                 {"support", event_json::array({"timer", "graphics", "hyperlinks"})}});
}

std::string glk_line(std::string_view text, const input_request& request) {
    return dump({{"type", "line"},
                 {"gen", request.generation},
                 {"window", request.window},
                 {"value", std::string(text)}});
}

std::string glk_key(const key_press& key, const input_request& request) {
    std::string value;
    switch (key.special) {
    case key_press::none:
        value = key.text;
        break;
    case key_press::enter:
        value = "return";
        break;
    case key_press::escape:
        value = "escape";
        break;
    case key_press::backspace:
        value = "delete";
        break;
    case key_press::tab:
        value = "tab";
        break;
    case key_press::left:
        value = "left";
        break;
    case key_press::right:
        value = "right";
        break;
    case key_press::up:
        value = "up";
        break;
    case key_press::down:
        value = "down";
        break;
    case key_press::home:
        value = "home";
        break;
    case key_press::end:
        value = "end";
        break;
    case key_press::page_up:
        value = "pageup";
        break;
    case key_press::page_down:
        value = "pagedown";
        break;
    case key_press::function:
        value = "func" + std::to_string(key.number);
        break;
    }
    return dump({{"type", "char"},
                 {"gen", request.generation},
                 {"window", request.window},
                 {"value", value}});
}

std::string glk_file_name(const std::optional<std::string>& name, const file_request& request) {
    return dump({{"type", "specialresponse"},
                 {"gen", request.generation},
                 {"response", "fileref_prompt"},
                 {"value", name ? event_json(*name) : event_json(nullptr)}});
}

std::string glk_link(const game_link& link, const input_request& request) {
    return dump({{"type", "hyperlink"},
                 {"gen", request.generation},
                 {"window", link.window},
                 {"value", link.value}});
}

std::string glk_timer(const input_request& request, std::string_view partial) {
    event_json event = {{"type", "timer"}, {"gen", request.generation}};
    if (request.kind == input_request::line && !partial.empty())
        event["partial"] = {{std::to_string(request.window), std::string(partial)}};
    return dump(event);
}

} // namespace tw
