#include "core/glkote/messages.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace tw::glkote {
namespace {

// Written in the order GlkOte writes the members; read unordered, which is
// quicker to parse.
using written = nlohmann::ordered_json;
using json = nlohmann::json;

// ---- Writing ----

std::string line_of(const written& message) {
    return message.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

// Whole numbers go out as integers: 80, not 80.0.
written number(double value) {
    if (value == std::floor(value) && std::abs(value) < 1e15)
        return static_cast<long long>(value);
    return value;
}

written name(std::string_view n) {
    return std::string(n);
}

written metrics_json(const metrics& m) {
    return {{"width", number(m.width)},
            {"height", number(m.height)},
            {"outspacingx", number(m.outspacingx)},
            {"outspacingy", number(m.outspacingy)},
            {"inspacingx", number(m.inspacingx)},
            {"inspacingy", number(m.inspacingy)},
            {"gridcharwidth", number(m.gridcharwidth)},
            {"gridcharheight", number(m.gridcharheight)},
            {"gridmarginx", number(m.gridmarginx)},
            {"gridmarginy", number(m.gridmarginy)},
            {"buffercharwidth", number(m.buffercharwidth)},
            {"buffercharheight", number(m.buffercharheight)},
            {"buffermarginx", number(m.buffermarginx)},
            {"buffermarginy", number(m.buffermarginy)},
            {"graphicsmarginx", number(m.graphicsmarginx)},
            {"graphicsmarginy", number(m.graphicsmarginy)}};
}

written image_json(const image& i) {
    written entry{{"special", "image"}, {"image", i.number}};
    if (i.x)
        entry["x"] = *i.x;
    if (i.y)
        entry["y"] = *i.y;
    entry["width"] = i.width;
    entry["height"] = i.height;
    if (i.alignment)
        entry["alignment"] = name(name_of(*i.alignment));
    if (!i.alttext.empty())
        entry["alttext"] = i.alttext;
    return entry;
}

written runs_json(const std::vector<run>& runs) {
    written list = written::array();
    for (auto& r : runs) {
        written entry = r.picture ? image_json(*r.picture)
                                  : written{{"style", name(name_of(r.style))}, {"text", r.text}};
        if (r.hyperlink)
            entry["hyperlink"] = r.hyperlink;
        list.push_back(std::move(entry));
    }
    return list;
}

written draw_json(const draw& d) {
    if (d.kind == draw::picture)
        return image_json(d.drawn);
    written entry{{"special", d.kind == draw::set_color ? "setcolor" : "fill"}};
    if (d.color)
        entry["color"] = *d.color;
    if (d.where) {
        entry["x"] = d.where->x;
        entry["y"] = d.where->y;
        entry["width"] = d.where->width;
        entry["height"] = d.where->height;
    }
    return entry;
}

written content_json(const window_content& c) {
    written entry{{"id", c.id}};
    switch (c.type) {
    case window_type::buffer: {
        if (c.clear)
            entry["clear"] = true;
        written text = written::array();
        for (auto& p : c.text) {
            written line = written::object();
            if (p.append)
                line["append"] = true;
            if (p.flowbreak)
                line["flowbreak"] = true;
            if (!p.runs.empty())
                line["content"] = runs_json(p.runs);
            text.push_back(std::move(line));
        }
        entry["text"] = std::move(text);
        break;
    }
    case window_type::grid: {
        written lines = written::array();
        for (auto& l : c.lines)
            lines.push_back({{"line", l.line}, {"content", runs_json(l.runs)}});
        entry["lines"] = std::move(lines);
        break;
    }
    case window_type::graphics: {
        written draws = written::array();
        for (auto& d : c.draws)
            draws.push_back(draw_json(d));
        entry["draw"] = std::move(draws);
        break;
    }
    }
    return entry;
}

written place_json(const window_place& w) {
    written entry{{"id", w.id},
                  {"type", name(name_of(w.type))},
                  {"rock", w.rock},
                  {"left", number(w.left)},
                  {"top", number(w.top)},
                  {"width", number(w.width)},
                  {"height", number(w.height)}};
    if (w.type == window_type::grid) {
        entry["gridwidth"] = w.columns;
        entry["gridheight"] = w.rows;
    } else if (w.type == window_type::graphics) {
        entry["graphwidth"] = w.columns;
        entry["graphheight"] = w.rows;
    }
    return entry;
}

written input_json(const input_entry& r) {
    written entry{{"id", r.window}, {"gen", r.gen}};
    if (r.type != input_entry::none)
        entry["type"] = r.type == input_entry::line ? "line" : "char";
    if (r.type == input_entry::line) {
        entry["maxlen"] = r.maxlen;
        if (!r.initial.empty())
            entry["initial"] = r.initial;
        if (!r.terminators.empty()) {
            written names = written::array();
            for (auto key : r.terminators)
                names.push_back(name(name_of(key)));
            entry["terminators"] = std::move(names);
        }
    }
    if (r.xpos)
        entry["xpos"] = *r.xpos;
    if (r.ypos)
        entry["ypos"] = *r.ypos;
    if (r.hyperlink)
        entry["hyperlink"] = true;
    return entry;
}

constexpr const char* sound_op_names[] = {"play", "stop", "pause", "unpause", "volume"};

written sound_op_json(const sound_op& o) {
    written entry{{"op", sound_op_names[o.kind]}};
    if (o.kind == sound_op::play) {
        entry["snd"] = o.sound;
        if (o.repeats != 1)
            entry["repeats"] = o.repeats;
    } else if (o.kind == sound_op::change_volume) {
        entry["vol"] = number(o.volume);
        if (o.duration)
            entry["dur"] = o.duration;
    }
    if (o.notify && (o.kind == sound_op::play || o.kind == sound_op::change_volume))
        entry["notify"] = o.notify;
    if (o.kind == sound_op::play && !o.alttext.empty())
        entry["alttext"] = o.alttext;
    return entry;
}

const char* event_name(event_type type) {
    switch (type) {
    case event_type::init:
        return "init";
    case event_type::line:
        return "line";
    case event_type::key:
        return "char";
    case event_type::timer:
        return "timer";
    case event_type::arrange:
        return "arrange";
    case event_type::redraw:
        return "redraw";
    case event_type::file_name:
        return "specialresponse";
    case event_type::sound:
        return "sound";
    case event_type::volume:
        return "volume";
    case event_type::hyperlink:
        return "hyperlink";
    case event_type::other:
        break;
    }
    return "other";
}

// ---- Reading ----

json* member(json& j, const char* key) {
    if (!j.is_object())
        return nullptr;
    auto it = j.find(key);
    return it == j.end() ? nullptr : &*it;
}

// Strings are moved out of the parsed document, which is thrown away.
std::string text_of(json& j, const char* key) {
    json* m = member(j, key);
    return m && m->is_string() ? std::move(m->get_ref<std::string&>()) : std::string();
}

bool flag_of(json& j, const char* key) {
    json* m = member(j, key);
    return m && m->is_boolean() && m->get<bool>();
}

// The protocol's numbers are integers: a fraction, or one out of range,
// counts as missing.
template <class Integer> std::optional<Integer> integer_of(json& j, const char* key) {
    json* m = member(j, key);
    if (m && m->is_number_unsigned()) {
        auto n = m->get<std::uint64_t>();
        if (n <= static_cast<std::uint64_t>(std::numeric_limits<Integer>::max()))
            return static_cast<Integer>(n);
    } else if (m && m->is_number_integer()) {
        auto n = m->get<std::int64_t>();
        if (n >= static_cast<std::int64_t>(std::numeric_limits<Integer>::min()) &&
            (n < 0 || static_cast<std::uint64_t>(n) <= std::numeric_limits<Integer>::max()))
            return static_cast<Integer>(n);
    }
    return std::nullopt;
}

std::uint32_t id_of(json& j, const char* key) {
    return integer_of<std::uint32_t>(j, key).value_or(0);
}

double measure_of(json& j, const char* key, double otherwise) {
    json* m = member(j, key);
    return m && m->is_number() ? m->get<double>() : otherwise;
}

// The array `key`, or none.
json* list_of(json& j, const char* key) {
    json* m = member(j, key);
    return m && m->is_array() ? m : nullptr;
}

template <class Thing> std::optional<Thing> name_in(json& j, const char* key) {
    json* m = member(j, key);
    return m && m->is_string() ? named<Thing>(m->get_ref<const std::string&>()) : std::nullopt;
}

metrics read_metrics(json& object) {
    metrics m;
    m.width = std::max(0.0, measure_of(object, "width", 0));
    m.height = std::max(0.0, measure_of(object, "height", 0));
    auto pair = [&](const char* both, const char* x, const char* y, double& out_x, double& out_y,
                    double otherwise) {
        double shared = measure_of(object, both, otherwise);
        out_x = measure_of(object, x, shared);
        out_y = measure_of(object, y, shared);
    };
    double spacing = measure_of(object, "spacing", 0);
    pair("outspacing", "outspacingx", "outspacingy", m.outspacingx, m.outspacingy, spacing);
    pair("inspacing", "inspacingx", "inspacingy", m.inspacingx, m.inspacingy, spacing);
    // A character's size must be positive, or nothing can be measured in it.
    auto char_size = [](double value) { return value > 0 ? value : 1; };
    double char_width = measure_of(object, "charwidth", 1),
           char_height = measure_of(object, "charheight", 1);
    m.gridcharwidth = char_size(measure_of(object, "gridcharwidth", char_width));
    m.gridcharheight = char_size(measure_of(object, "gridcharheight", char_height));
    m.buffercharwidth = char_size(measure_of(object, "buffercharwidth", char_width));
    m.buffercharheight = char_size(measure_of(object, "buffercharheight", char_height));
    double margin = measure_of(object, "margin", 0);
    pair("gridmargin", "gridmarginx", "gridmarginy", m.gridmarginx, m.gridmarginy, margin);
    pair("buffermargin", "buffermarginx", "buffermarginy", m.buffermarginx, m.buffermarginy,
         margin);
    pair("graphicsmargin", "graphicsmarginx", "graphicsmarginy", m.graphicsmarginx,
         m.graphicsmarginy, margin);
    return m;
}

image read_image(json& j) {
    image i;
    i.number = id_of(j, "image");
    i.x = integer_of<std::int32_t>(j, "x");
    i.y = integer_of<std::int32_t>(j, "y");
    i.width = id_of(j, "width");
    i.height = id_of(j, "height");
    i.alignment = name_in<image_alignment>(j, "alignment");
    i.alttext = text_of(j, "alttext");
    return i;
}

// A run list is objects, or (in GlkOte's older form) style and text by
// turns. Specials other than pictures are passed over.
std::vector<run> read_runs(json* content) {
    std::vector<run> runs;
    if (!content || !content->is_array())
        return runs;
    runs.reserve(content->size());
    for (size_t i = 0; i < content->size(); ++i) {
        json& item = (*content)[i];
        if (item.is_string() && i + 1 < content->size() && (*content)[i + 1].is_string()) {
            runs.push_back(
                {named<style>(item.get_ref<const std::string&>()).value_or(style::normal),
                 std::move((*content)[++i].get_ref<std::string&>()), std::nullopt, 0});
        } else if (json* special = member(item, "special")) {
            if (special->is_string() && *special == "image")
                runs.push_back({style::normal, {}, read_image(item), id_of(item, "hyperlink")});
        } else if (item.is_object()) {
            runs.push_back({name_in<style>(item, "style").value_or(style::normal),
                            text_of(item, "text"), std::nullopt, id_of(item, "hyperlink")});
        }
    }
    return runs;
}

std::optional<draw> read_draw(json& j) {
    json* special = member(j, "special");
    if (!special || !special->is_string())
        return std::nullopt;
    draw d;
    const auto& kind = special->get_ref<const std::string&>();
    if (kind == "image") {
        d.kind = draw::picture;
        d.drawn = read_image(j);
        return d;
    }
    if (kind != "setcolor" && kind != "fill")
        return std::nullopt;
    d.kind = kind == "fill" ? draw::fill : draw::set_color;
    if (json* color = member(j, "color"); color && color->is_string())
        d.color = color->get<std::string>();
    auto x = integer_of<std::int32_t>(j, "x"), y = integer_of<std::int32_t>(j, "y");
    if (x && y)
        d.where = draw::area{*x, *y, id_of(j, "width"), id_of(j, "height")};
    return d;
}

window_content read_content(json& j) {
    window_content c;
    c.id = id_of(j, "id");
    c.clear = flag_of(j, "clear");
    if (json* text = list_of(j, "text")) {
        c.type = window_type::buffer;
        c.text.reserve(text->size());
        for (auto& p : *text)
            if (p.is_object())
                c.text.push_back({flag_of(p, "append"), flag_of(p, "flowbreak"),
                                  read_runs(member(p, "content"))});
    } else if (json* lines = list_of(j, "lines")) {
        c.type = window_type::grid;
        for (auto& l : *lines)
            if (auto row = integer_of<std::uint32_t>(l, "line"))
                c.lines.push_back({*row, read_runs(member(l, "content"))});
    } else if (json* draws = list_of(j, "draw")) {
        c.type = window_type::graphics;
        for (auto& d : *draws)
            if (auto got = read_draw(d))
                c.draws.push_back(std::move(*got));
    }
    return c;
}

std::optional<window_place> read_place(json& j) {
    auto type = name_in<window_type>(j, "type");
    if (!type)
        return std::nullopt;
    window_place w;
    w.id = id_of(j, "id");
    w.type = *type;
    w.rock = id_of(j, "rock");
    w.left = measure_of(j, "left", 0);
    w.top = measure_of(j, "top", 0);
    w.width = measure_of(j, "width", 0);
    w.height = measure_of(j, "height", 0);
    bool grid = *type == window_type::grid;
    w.columns = id_of(j, grid ? "gridwidth" : "graphwidth");
    w.rows = id_of(j, grid ? "gridheight" : "graphheight");
    return w;
}

input_entry read_input(json& j) {
    input_entry r;
    r.window = id_of(j, "id");
    r.gen = integer_of<std::int64_t>(j, "gen").value_or(0);
    auto type = text_of(j, "type");
    r.type = type == "line" ? input_entry::line : type == "char" ? input_entry::key : input_entry::none;
    r.hyperlink = flag_of(j, "hyperlink");
    r.maxlen = id_of(j, "maxlen");
    r.initial = text_of(j, "initial");
    if (json* terminators = list_of(j, "terminators"))
        for (auto& t : *terminators)
            if (t.is_string())
                if (auto key = named<special_key>(t.get_ref<const std::string&>()))
                    r.terminators.push_back(*key);
    r.xpos = integer_of<std::uint32_t>(j, "xpos");
    r.ypos = integer_of<std::uint32_t>(j, "ypos");
    return r;
}

std::optional<sound_op> read_sound_op(json& j) {
    auto name = text_of(j, "op");
    auto known = std::find(std::begin(sound_op_names), std::end(sound_op_names), name);
    if (known == std::end(sound_op_names))
        return std::nullopt;
    sound_op o;
    o.kind = static_cast<sound_op::kind_t>(known - std::begin(sound_op_names));
    o.sound = id_of(j, "snd");
    o.repeats = std::max<std::int64_t>(-1, integer_of<std::int64_t>(j, "repeats").value_or(1));
    o.notify = id_of(j, "notify");
    o.volume = std::max(0.0, measure_of(j, "vol", 1));
    o.duration = id_of(j, "dur");
    o.alttext = text_of(j, "alttext");
    return o;
}

update read_update(json& doc) {
    update u;
    u.gen = integer_of<std::int64_t>(doc, "gen").value_or(0);
    if (json* list = list_of(doc, "windows")) {
        u.windows.emplace();
        for (auto& w : *list)
            if (auto place = read_place(w))
                u.windows->push_back(*place);
    }
    if (json* content = list_of(doc, "content")) {
        u.content.reserve(content->size());
        for (auto& c : *content)
            u.content.push_back(read_content(c));
    }
    if (json* inputs = list_of(doc, "input"))
        for (auto& i : *inputs)
            u.input.push_back(read_input(i));
    if (member(doc, "timer"))
        u.timer = integer_of<std::uint32_t>(doc, "timer").value_or(0);
    if (json* special = member(doc, "specialinput");
        special && text_of(*special, "type") == "fileref_prompt")
        u.special_input = file_prompt{name_in<file_mode>(*special, "filemode"),
                                      name_in<file_type>(*special, "filetype")};
    if (json* channels = list_of(doc, "schannels")) {
        u.schannels.emplace();
        for (auto& c : *channels) {
            sound_channel channel{id_of(c, "id"), {}};
            if (json* ops = list_of(c, "ops"))
                for (auto& op : *ops)
                    if (auto read = read_sound_op(op))
                        channel.ops.push_back(std::move(*read));
            u.schannels->push_back(std::move(channel));
        }
    }
    return u;
}

std::optional<json> parse_object(std::string_view text) {
    json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object())
        return std::nullopt;
    return doc;
}

} // namespace

std::string write(const event& e) {
    written message{{"type", event_name(e.type)}};
    if (e.gen)
        message["gen"] = *e.gen;
    switch (e.type) {
    case event_type::line:
    case event_type::key:
        message["window"] = e.window;
        message["value"] = e.value;
        if (e.terminator)
            message["terminator"] = name(name_of(*e.terminator));
        break;
    case event_type::redraw:
        if (e.window)
            message["window"] = e.window;
        break;
    case event_type::hyperlink:
        message["window"] = e.window;
        message["value"] = e.link;
        break;
    case event_type::file_name:
        message["response"] = "fileref_prompt";
        message["value"] = e.file_name ? written(*e.file_name) : written(nullptr);
        break;
    case event_type::sound:
    case event_type::volume:
        message["channel"] = e.channel;
        if (e.type == event_type::sound)
            message["snd"] = e.sound;
        message["notify"] = e.notify;
        break;
    default:
        break;
    }
    if (e.measures)
        message["metrics"] = metrics_json(*e.measures);
    if (e.type == event_type::init)
        message["support"] = e.support;
    if (!e.partial.empty()) {
        written partial = written::object();
        for (auto& [window, text] : e.partial)
            partial[std::to_string(window)] = text;
        message["partial"] = std::move(partial);
    }
    return line_of(message);
}

std::string write(const update& u) {
    written message{{"type", "update"}, {"gen", u.gen}};
    if (u.windows) {
        written list = written::array();
        for (auto& w : *u.windows)
            list.push_back(place_json(w));
        message["windows"] = std::move(list);
    }
    if (!u.content.empty()) {
        written list = written::array();
        for (auto& c : u.content)
            list.push_back(content_json(c));
        message["content"] = std::move(list);
    }
    written inputs = written::array();
    for (auto& r : u.input)
        inputs.push_back(input_json(r));
    message["input"] = std::move(inputs);
    if (u.timer)
        message["timer"] = *u.timer ? written(*u.timer) : written(nullptr);
    if (u.special_input) {
        written special{{"type", "fileref_prompt"}};
        if (u.special_input->mode)
            special["filemode"] = name(name_of(*u.special_input->mode));
        if (u.special_input->type)
            special["filetype"] = name(name_of(*u.special_input->type));
        message["specialinput"] = std::move(special);
    }
    if (u.schannels) {
        written channels = written::array();
        for (auto& c : *u.schannels) {
            written entry{{"id", c.id}};
            if (!c.ops.empty()) {
                written ops = written::array();
                for (auto& o : c.ops)
                    ops.push_back(sound_op_json(o));
                entry["ops"] = std::move(ops);
            }
            channels.push_back(std::move(entry));
        }
        message["schannels"] = std::move(channels);
    }
    return line_of(message);
}

std::string write(const error& e) {
    return line_of({{"type", "error"}, {"message", e.message}});
}

std::string write(const file_failure& f) {
    return line_of({{"type", "filefailure"},
                    {"filetype", name(name_of(f.type))},
                    {"filename", f.name},
                    {"reason", name(name_of(f.reason))},
                    {"detail", f.detail}});
}

std::optional<event> read_event(std::string_view text) {
    auto doc = parse_object(text);
    if (!doc)
        return std::nullopt;
    event e;
    auto type = text_of(*doc, "type");
    e.gen = integer_of<std::int64_t>(*doc, "gen");
    e.window = id_of(*doc, "window");
    if (type == "init") {
        e.type = event_type::init;
        json* m = member(*doc, "metrics");
        e.measures = m && m->is_object() ? read_metrics(*m) : metrics{};
        if (json* support = list_of(*doc, "support"))
            for (auto& feature : *support)
                if (feature.is_string())
                    e.support.push_back(feature.get<std::string>());
    } else if (type == "line" || type == "char") {
        e.type = type == "line" ? event_type::line : event_type::key;
        e.value = text_of(*doc, "value");
        e.terminator = name_in<special_key>(*doc, "terminator");
    } else if (type == "timer") {
        e.type = event_type::timer;
    } else if (type == "arrange") {
        if (json* m = member(*doc, "metrics"); m && m->is_object()) {
            e.type = event_type::arrange;
            e.measures = read_metrics(*m);
        }
    } else if (type == "redraw") {
        e.type = event_type::redraw;
    } else if (type == "hyperlink") {
        e.type = event_type::hyperlink;
        e.link = id_of(*doc, "value");
    } else if (type == "specialresponse" && text_of(*doc, "response") == "fileref_prompt") {
        e.type = event_type::file_name;
        if (json* value = member(*doc, "value"); value && value->is_string())
            e.file_name = std::move(value->get_ref<std::string&>());
    } else if (type == "sound" || type == "volume") {
        e.type = type == "sound" ? event_type::sound : event_type::volume;
        e.channel = id_of(*doc, "channel");
        e.sound = id_of(*doc, "snd");
        e.notify = id_of(*doc, "notify");
    }
    if (json* partial = member(*doc, "partial"); partial && partial->is_object()) {
        for (auto& [key, value] : partial->items()) {
            std::uint32_t window = 0;
            auto [end, fault] = std::from_chars(key.data(), key.data() + key.size(), window);
            if (fault == std::errc() && end == key.data() + key.size() && value.is_string())
                e.partial.emplace_back(window, value.get<std::string>());
        }
    }
    return e;
}

std::optional<output> read_output(std::string_view text) {
    auto doc = parse_object(text);
    if (!doc)
        return std::nullopt;
    auto type = text_of(*doc, "type");
    if (type == "update")
        return read_update(*doc);
    if (type == "error")
        return error{text_of(*doc, "message")};
    if (type == "filefailure")
        return file_failure{name_in<file_type>(*doc, "filetype").value_or(file_type::data),
                            text_of(*doc, "filename"),
                            name_in<failure_reason>(*doc, "reason").value_or(failure_reason::other),
                            text_of(*doc, "detail")};
    return other_output{};
}

} // namespace tw::glkote
