// GlkOte's protocol both ways round: what Tallowick writes, our Glk library
// reads as it was meant, and what the library writes, Tallowick reads.
#include "core/glkote/messages.h"
#include "core/glkote/splitter.h"
#include "core/interpreter/glk_protocol.h"
#include "support.h"

namespace tw {
namespace {

using namespace glkote;

std::vector<std::string> split(message_splitter& splitter, const std::vector<std::string>& reads) {
    std::vector<std::string> found;
    for (auto& text : reads) {
        splitter.feed(text);
        std::string_view message;
        while (splitter.next(message) == message_splitter::status::complete)
            found.emplace_back(message);
    }
    return found;
}

TEST(Glkote, MessagesAreFoundWhereverTheInputIsCut) {
    const std::string text = " {\"a\": \"}{\\\"\",\n \"b\": [1, {}]}\n\n{\"c\":1}";
    const std::vector<std::string> messages = {"{\"a\": \"}{\\\"\",\n \"b\": [1, {}]}",
                                               "{\"c\":1}"};
    message_splitter whole(100), by_characters(100);
    EXPECT_EQ(split(whole, {text}), messages);
    std::vector<std::string> characters;
    for (char c : text)
        characters.emplace_back(1, c);
    EXPECT_EQ(split(by_characters, characters), messages);
    EXPECT_FALSE(by_characters.holds_part());

    // A message cut short is held: reader_test's truncated updates.
    message_splitter not_json(100), huge(10);
    std::string_view message;
    not_json.feed(" [1]");
    EXPECT_EQ(not_json.next(message), message_splitter::status::not_an_object);
    huge.feed("{\"text\": \"more than ten\"");
    EXPECT_EQ(huge.next(message), message_splitter::status::too_large);
}

TEST(Glkote, TheEventsTallowickWritesAreReadByTheLibraryAsMeant) {
    EXPECT_EQ(read_event(glk_greeting()),
              (event{.type = event_type::init,
                     .gen = 0,
                     .measures = metrics{.width = glk_screen_width, .height = glk_screen_height},
                     .support = {"timer", "graphics", "sounds", "hyperlinks"}}));

    tw::input_request line_wait{tw::input_request::line, 2, 7};
    tw::input_request key_wait{tw::input_request::key, 3, 8};
    EXPECT_EQ(read_event(glk_line("x caf\u00e9", line_wait)),
              (event{.type = event_type::line, .gen = 7, .window = 2, .value = "x caf\u00e9"}));

    // Every key Tallowick sends is a key of the library's, as Glk codes it.
    auto key = [&](key_press pressed) { return read_event(glk_key(pressed, key_wait))->value; };
    auto code = [&](key_press pressed) {
        return static_cast<std::uint32_t>(*named<special_key>(key(pressed)));
    };
    EXPECT_EQ(code({key_press::enter}), 0xfffffffau);
    EXPECT_EQ(code({key_press::backspace}), 0xfffffff9u);
    EXPECT_EQ(code({key_press::page_down}), 0xfffffff5u);
    EXPECT_EQ(code({key_press::function, {}, 12}), 0xffffffe4u);
    EXPECT_EQ(code({key_press::function, {}, 2}), 0xffffffeeu);
    for (int special = key_press::enter; special < key_press::function; ++special)
        EXPECT_TRUE(named<special_key>(key({static_cast<key_press::special_t>(special)})))
            << special;
    EXPECT_EQ(key({key_press::none, "\u00e9"}), "\u00e9");
    EXPECT_EQ(read_event(glk_key({key_press::up}, key_wait)),
              (event{.type = event_type::key, .gen = 8, .window = 3, .value = "up"}));
    EXPECT_EQ(read_event(glk_timer(line_wait, "half a comm")),
              (event{.type = event_type::timer, .gen = 7, .partial = {{2, "half a comm"}}}));
    EXPECT_TRUE(read_event(glk_timer(key_wait, "x"))->partial.empty());
    file_request save{file_request::write, file_request::saved_game, 9};
    EXPECT_EQ(read_event(glk_file_name("castle.sav", save)),
              (event{.type = event_type::file_name, .gen = 9, .file_name = "castle.sav"}));
    EXPECT_EQ(read_event(glk_file_name(std::nullopt, save)),
              (event{.type = event_type::file_name, .gen = 9}));
    EXPECT_EQ(read_event(glk_link({"the north door", 5, 0xfffffff0u}, key_wait)),
              (event{.type = event_type::hyperlink, .gen = 8, .window = 5, .link = 0xfffffff0u}));

    // What Tallowick never sends reads back as written all the same, the
    // ends of a sound and of a change of volume the game waits for too.
    for (const event& e :
         {event{.type = event_type::arrange,
         .gen = 3,
         .measures = metrics{100.5, 40, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
          event{.type = event_type::redraw, .window = 4},
          event{
              .type = event_type::line, .gen = 7, .value = "x", .terminator = special_key::escape},
          event{.type = event_type::sound, .gen = 6, .channel = 1, .sound = 3, .notify = ~0u},
          event{.type = event_type::volume, .gen = 7, .channel = 2, .notify = 12}})
        EXPECT_EQ(read_event(write(e)), e) << write(e);
    EXPECT_FALSE(read_event("[1]"));
}

// The library's update for a status grid, the story and a picture window,
// waiting for a line, a key or a link, and a file name.
update library_update() {
    update u;
    u.gen = 5;
    u.windows = std::vector<window_place>{{1, window_type::grid, 202, 0, 0, 80, 1, 80, 1},
                                          {2, window_type::buffer, 201, 0, 1, 60, 49, 0, 0},
                                          {3, window_type::graphics, 3, 60, 1, 20, 49, 20, 49}};
    image lamp{1, std::nullopt, std::nullopt, 32, 32, image_alignment::margin_left, "A lamp."};
    u.content = {
        {.id = 1,
         .type = window_type::grid,
         .lines = {{0, {{style::normal, " Hall", {}, 9}, {style::header, "  Moves: 1", {}, 0}}}}},
        {.id = 2,
         .clear = true,
         .text = {{true, false, {{style::input, "look", {}, 0}}},
                  {false, false, {{style::header, "Hall", {}, 0}}},
                  {false, true, {{style::normal, "A lamp here. "}, {style::normal, {}, lamp, 3}}}}},
        {.id = 3,
         .type = window_type::graphics,
         .draws = {{draw::set_color, "#000080"},
                   {draw::fill, "#FF0000", draw::area{1, 2, 3, 4}},
                   {draw::picture, {}, {}, {2, 5, 6, 20, 20, std::nullopt, "A map."}}}}};
    u.input = {
        {.window = 2,
         .gen = 4,
         .maxlen = 255,
         .initial = "ex",
         .terminators = {special_key::escape, *function_key(3)}},
        {.window = 1, .gen = 5, .type = input_entry::key, .hyperlink = true, .xpos = 4, .ypos = 0},
        {.window = 3, .gen = 5, .type = input_entry::none, .hyperlink = true}};
    u.timer = 0;
    u.special_input = file_prompt{file_mode::write_append, file_type::transcript};
    u.schannels = std::vector<sound_channel>{
        {1,
         {{.kind = sound_op::change_volume, .volume = 0.5},
          {.sound = 3, .repeats = -1, .notify = ~0u, .alttext = "A bronze bell tolls."},
          {.kind = sound_op::pause},
          {.kind = sound_op::unpause},
          {.kind = sound_op::change_volume, .notify = 12, .duration = 500},
          {.kind = sound_op::stop}}},
        {2, {}}};
    return u;
}

TEST(Glkote, TheOutputTheLibraryWritesIsReadByTallowickAsMeant) {
    const update sent = library_update();
    const file_failure full{file_type::save, "castle.sav", failure_reason::disk_full, "No space"};
    const file_failure broken{file_type::data, "notes.glkdata", failure_reason::other,
                              "Input/output error"};
    EXPECT_EQ(read_output(write(sent)), output(sent));
    EXPECT_EQ(read_output(write(full)), output(full));
    EXPECT_EQ(read_output(write(error{"The story is not a Glulx game."})),
              output(error{"The story is not a Glulx game."}));
    EXPECT_EQ(read_output(R"({"type":"refresh"})"), output(other_output{}));

    // Cut anywhere, as a pipe delivers it.
    std::string stream = write(sent) + write(full) + write(broken) + write(error{"Gone."});
    glk_screen screen;
    std::vector<screen_event> events;
    for (size_t at = 0; at < stream.size(); at += 7)
        screen.feed(std::string_view(stream).substr(at, 7), events);
    screen.finish(events);
    std::vector<std::pair<screen_event::kind_t, std::string>> heard;
    for (auto& e : events)
        heard.emplace_back(e.kind, e.text);
    EXPECT_EQ(heard,
              (std::vector<std::pair<screen_event::kind_t, std::string>>{
                  {screen_event::sounds, ""},
                  {screen_event::status_line, "Hall Moves: 1"},
                  {screen_event::story_text,
                   "\nHall\nA lamp here. [Picture: A lamp.]\n[Picture: A map.]"},
                  {screen_event::link_choices, ""},
                  {screen_event::timer, ""},
                  {screen_event::file_prompt, ""},
                  {screen_event::input_wait, ""},
                  {screen_event::write_failure, "The game could not be saved: the disk is full."},
                  {screen_event::write_failure,
                   "The file notes.glkdata could not be written: input/output error."},
                  {screen_event::failure, "Gone."}}));
    EXPECT_EQ(events[0].number, 5);
    EXPECT_EQ(events[0].channels, *sent.schannels);
    // The links of the windows that wait for one (the story does not).
    EXPECT_EQ(events[3].links, (std::vector<game_link>{{"Hall", 1, 9}}));
    EXPECT_EQ(events[4].number, 0);
    EXPECT_EQ(events[5].file.mode, file_request::write);
    EXPECT_EQ(events[5].file.usage, file_request::transcript);
    EXPECT_EQ(events[6].input.kind, tw::input_request::line);
    EXPECT_EQ(events[6].input.window, 2);
    EXPECT_EQ(events[6].input.generation, 5);
}

} // namespace
} // namespace tw
