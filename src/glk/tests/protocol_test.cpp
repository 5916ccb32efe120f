// GlkOte's protocol as the library speaks it: real programs (glulxe with
// our test story, and glk_probe) fed scripted events; and what the library
// reads of a Blorb's pictures for it. The messages themselves, both ways:
// tests/unit/glkote_test.cpp.
#include "glk/images.h"
#include "support.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace tw::glk {
namespace {

using namespace tw::test;
using json = nlohmann::ordered_json;

// Tallowick's init event: 80 by 50 character cells.
const std::string init_event = R"({"type": "init", "gen": 0,
    "metrics": {"width": 80, "height": 50, "charwidth": 1, "charheight": 1},
    "support": ["timer", "graphics", "sounds", "hyperlinks"]})";

std::string quoted(const std::string& text) {
#ifdef _WIN32
    return '"' + text + '"';
#else
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
#endif
}

struct run_result {
    int status = -1;
    std::vector<json> updates; // every line the program wrote
};
// Runs `program` in `folder` with `arguments`, its input `input` (the
// display's events), until it ends.
run_result run_program(const fs::path& program, const std::vector<std::string>& arguments,
                       const std::string& input, const fs::path& folder) {
    write_file(folder / "events.json", input);
    std::string command = "cd " + quoted(folder.string()) + " && " + quoted(program.string());
    for (auto& argument : arguments)
        command += " " + quoted(argument);
    command += " < events.json > updates.json";
#ifdef _WIN32
    command = "cd /d " + command.substr(3);
#endif
    run_result result;
    int status = std::system(command.c_str());
#ifdef _WIN32
    result.status = status;
#else
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    std::istringstream output(read_file(folder / "updates.json"));
    for (std::string line; std::getline(output, line);) {
        auto update = json::parse(line, nullptr, false);
        EXPECT_FALSE(update.is_discarded()) << "not JSON: " << line;
        result.updates.push_back(std::move(update));
    }
    return result;
}

// The entry for window `id` in an update's list `list` ("windows", "content").
json window_entry(const json& update, int id, const char* list = "windows") {
    for (auto& entry : update.value(list, json::array()))
        if (entry["id"] == id)
            return entry;
    return json::object();
}

// The text runs an update adds to window `id`, lines joined by "\n";
// input echoed as [typed].
std::string text_of(const json& update, int id = 1) {
    std::string text;
    for (auto& paragraph : window_entry(update, id, "content").value("text", json::array())) {
        if (!paragraph.value("append", false) && !text.empty())
            text += '\n';
        for (auto& run : paragraph.value("content", json::array()))
            text += run.value("style", "") == "input" ? "[" + run.value("text", "") + "]"
                                                      : run.value("text", "");
    }
    return text;
}

// Glulxe playing `story`, fed the init event and then `events`.
run_result run_story(const temp_dir& dir, const std::string& events,
                     const std::string& story = GLK_TEST_STORY) {
    return run_program(GLULXE, {story}, init_event + events, dir.path());
}

TEST(GlkProtocol, OnlyTheInputAskedForIsTakenAndLinesArriveComposed) {
    temp_dir dir;
    // Old generations, a prompt answered early, cancelled or with a name
    // that would leave the folder are no one's input.
    auto run = run_story(dir, R"(
        {"type": "line", "gen": 0, "window": 1, "value": "stale"}
        {"type": "line", "gen": 1, "window": 1, "value": "fresh"}
        {"type": "line", "gen": 2, "window": 1, "value": "s"}
        {"type": "specialresponse", "gen": 2, "response": "fileref_prompt", "value": "too early"}
        {"type": "specialresponse", "gen": 3, "response": "fileref_prompt", "value": null}
        {"type": "line", "gen": 4, "window": 1, "value": "s"}
        {"type": "specialresponse", "gen": 5, "response": "fileref_prompt", "value": "../escape"}
        {"type": "line", "gen": 6, "window": 1, "value": "r"}
        {"type": "specialresponse", "gen": 7, "response": "fileref_prompt", "value": "missing"}
        {"type": "line", "gen": 8, "window": 1, "value": "u"}
        {"type": "line", "gen": 9, "window": 1, "value": "e\u0301\u263A"})");
    EXPECT_EQ(run.status, 0); // the input ran out: a quiet end
    ASSERT_EQ(run.updates.size(), 10u);
    EXPECT_EQ(text_of(run.updates[1]), "[fresh]\nYou said: fresh\n\n>");
    EXPECT_EQ(text_of(run.updates[3]), "Not saved.\n\n>");
    EXPECT_EQ(text_of(run.updates[5]), "Not saved.\n\n>");
    EXPECT_EQ(text_of(run.updates[7]), "No such file.\n\n>");
    EXPECT_EQ(text_of(run.updates[9]), "[\u00E9\u263A]\nRead 2: 233 9786\n\n>");
    // Nothing was written, in the folder or above it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    EXPECT_FALSE(fs::exists(dir.path().parent_path() / "escape"));
}

TEST(GlkProtocol, FaultsAreOneErrorAndAFailedExitButAClosedInputIsAQuietEnd) {
    temp_dir dir;
    write_file(dir / "zcode.z5", std::string("\x05\0\0\0", 4) + std::string(60, '\0'));
    auto error = [](const run_result& run) {
        return run.updates.empty() ? json() : run.updates.back().value("message", json());
    };
    auto zcode = run_story(dir, "", "zcode.z5");
    EXPECT_EQ(zcode.status, 1);
    EXPECT_EQ(error(zcode),
              "This is neither a Glulx game file nor a Blorb file which contains one.");
    auto fatal = run_story(dir, R"({"type": "line", "gen": 1, "window": 1, "value": "e"})");
    EXPECT_EQ(fatal.status, 1);
    EXPECT_EQ(error(fatal), "Reference to nonexistent Glk object.");
    auto bad = run_story(dir, R"({"type": nope})");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(error(bad), "The display sent a message that is not valid JSON.");
    auto cut = run_story(dir, R"({"type": "li)");
    EXPECT_EQ(cut.status, 0);
    EXPECT_EQ(cut.updates.size(), 1u);
}

#ifdef GLK_INTERPRETERS
TEST(GlkProtocol, EveryInterpreterAnswersTheFirstEventThoughItsStoryIsMissing) {
    temp_dir dir;
    for (std::string program : {GLK_INTERPRETERS}) {
        auto run = run_program(binary_dir / (program + exe), {(dir / "missing").string()},
                               init_event, dir.path());
        ASSERT_FALSE(run.updates.empty()) << program;
        auto type = run.updates[0].value("type", "");
        EXPECT_TRUE(type == "update" || type == "error") << program;
        if (program == "git") { // its fatal error in a window is told as one
            EXPECT_EQ(run.updates.back().value("message", ""), "could not open game file");
        }
    }
}
#endif

std::span<const unsigned char> bytes(const std::string& text) {
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// A PNG's size as it is drawn: the graphics window below.
TEST(GlkImages, SizesComeFromThePngOrJpegHeader) {
    EXPECT_FALSE(png_size(bytes("\x89PNG but no header")));

    // Start of image, an APP0 segment, a fill byte, then the frame header.
    std::string jpeg =
        std::string("\xFF\xD8\xFF\xE0\0\x06JFIF\xFF\xFF\xC2\0\x11\x08\0\x40\0\x60", 21);
    auto size = jpeg_size(bytes(jpeg));
    ASSERT_TRUE(size);
    EXPECT_EQ(std::pair(size->width, size->height), std::pair(0x60u, 0x40u));
    EXPECT_FALSE(jpeg_size(bytes(std::string("\xFF\xD8\xFF\xDA\0\x02", 6))));
    EXPECT_FALSE(jpeg_size(bytes(std::string("\xFF\xD8\xFF\xE0\xFF\xFF", 6))));
}

TEST(GlkImages, DescriptionsAreKeptByUsageAndNumber) {
    std::string chunk = std::string("\0\0\0\3Pict\0\0\0\2\0\0\0\3", 16) + "Two" +
                        std::string("Snd \0\0\0\2\0\0\0\4", 12) + "Bang" +
                        std::string("Pict\0\0\0\5\0\0\0\x50", 12) + "cut short";
    EXPECT_EQ(resource_descriptions(bytes(chunk)),
              (std::map<resource_key, std::string>{{{giblorb_ID_Pict, 2}, "Two"},
                                                   {{giblorb_ID_Snd, 2}, "Bang"}}));
}

TEST(GlkProtocol, GridInputTerminatorsPartialLinesGraphicsLinksAPolledTickAndSounds) {
    temp_dir dir;
    // A PNG's signature and header, 96 by 64 pixels: enough to be measured.
    std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0DIHDR\0\0\0\x60\0\0\0\x40\x08\x02\0\0\0\0\0\0\0",
                    33);
    std::string descriptions = std::string("\0\0\0\2Pict\0\0\0\1\0\0\0\x0D", 16) + "A red square." +
                               std::string("Snd \0\0\0\3\0\0\0\x04", 12) + "Bong";
    write_file(dir / "probe.blb", make_blorb({{"PNG ", png, "Pict", 1},
                                              {"FORM", "AIFF", "Snd ", 3},
                                              {"RDes", descriptions}}));
    // Ends of sounds come whatever update they answer; one from before the
    // update that started it, or not what the game waits for, is stale.
    auto run = run_program(GLK_PROBE, {"probe.blb"}, init_event + R"(
        {"type": "line", "gen": 1, "window": 2, "value": "north", "terminator": "escape"}
        {"type": "arrange", "gen": 2, "metrics": {"width": 100, "height": 50},
         "partial": {"1": "abcdef"}}
        {"type": "hyperlink", "gen": 3, "window": 2, "value": 8}
        {"type": "timer", "gen": 3}
        {"type": "volume", "gen": 3, "channel": 1, "notify": 12}
        {"type": "sound", "gen": 4, "channel": 1, "snd": 3, "notify": 12}
        {"type": "volume", "gen": 4, "channel": 1, "notify": 12}
        {"type": "sound", "gen": 4, "channel": 1, "snd": 3, "notify": 11})",
                           dir.path());
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.updates.size(), 6u);
    EXPECT_EQ(window_entry(run.updates[0], 4), json::parse(R"({"id":4,"type":"graphics","rock":3,
        "left":60,"top":2,"width":20,"height":48,"graphwidth":20,"graphheight":48})"));
    EXPECT_EQ(run.updates[0]["input"], json::parse(R"([{"id":2,"gen":1,"type":"line",
        "maxlen":10,"terminators":["escape"],"xpos":4,"ypos":1}])"));

    EXPECT_EQ(run.updates[1]["content"][1], json::parse(R"({"id":2,"lines":[{"line":1,"content":[
        {"style":"normal","text":"Go: "},{"style":"input","text":"north"}]}]})"));
    EXPECT_EQ(text_of(run.updates[1]), "Grid line \"north\", terminator 4294967288.");
    EXPECT_EQ(run.updates[1]["input"], json::parse(R"([{"id":1,"gen":2,"type":"line",
        "maxlen":32,"initial":"abc"}])"));

    auto& links = run.updates[2];
    EXPECT_EQ(window_entry(links, 1)["width"], 75);
    EXPECT_EQ(text_of(links), "Cancelled \"abcdef\".\nPicture drawn.\nDown");
    EXPECT_EQ(window_entry(links, 2, "content")["lines"][0], json::parse(R"({"line":0,"content":[
        {"style":"normal","text":"Up","hyperlink":8}]})"));
    EXPECT_EQ(window_entry(links, 1, "content")["text"].back()["content"][0],
              json::parse(R"({"style":"normal","text":"Down","hyperlink":7})"));
    EXPECT_EQ(links["input"], json::parse(R"([{"id":1,"gen":3,"hyperlink":true},
        {"id":2,"gen":3,"hyperlink":true}])"));
    EXPECT_EQ(window_entry(links, 4, "content"), json::parse(R"({"id":4,"draw":[
        {"special":"setcolor","color":"#000080"},{"special":"fill"},
        {"special":"fill","color":"#FF0000","x":1,"y":2,"width":3,"height":4},
        {"special":"image","image":1,"x":5,"y":6,"width":96,"height":64,
         "alttext":"A red square."}]})"));
    // The tick polled for comes once: the second poll has none.
    EXPECT_EQ(text_of(run.updates[3]), "Link 8 in window 2.\nPolled 1, then 0.");
    EXPECT_EQ(run.updates[5]["input"], json::array());
    EXPECT_EQ(run.updates[3]["schannels"], json::parse(R"([{"id":1,"ops":[{"op":"volume","vol":0.5},
        {"op":"play","snd":3,"repeats":2,"notify":11,"alttext":"Bong"},
        {"op":"volume","vol":1,"dur":500,"notify":12}]},{"id":2,"ops":[{"op":"stop"}]}])"));
    EXPECT_FALSE(run.updates[4].contains("schannels")); // nothing changed
    EXPECT_EQ(text_of(run.updates[5]), "Sound 3 ended, notify 11; sound 9 missing.");
    EXPECT_EQ(run.updates[5]["schannels"], json::parse(R"([{"id":2}])"));
}

} // namespace
} // namespace tw::glk
