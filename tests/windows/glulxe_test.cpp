// Our glulxe.exe, started as Tallowick starts it: a story's name arrives
// whole whatever its letters, and what it writes is the protocol's bytes.
#include "core/interpreter/glk_protocol.h"
#include "core/interpreter/process.h"
#include "core/text/utf8.h"
#include "support.h"

#include <windows.h>

namespace tw {
namespace {

using namespace test;

TEST(Glulxe, OpensAStoryWhoseNameTheCodePageCannotHold) {
    temp_dir dir;
    // Greek and a Chinese character: no ANSI code page holds both, so argv
    // as the C runtime makes it would have '?' for them.
    auto story =
        dir / path_from_utf8("Lantern Hall \xce\xa6\xce\xb1\xce\xbd\xce\xac\xcf\x81\xce\xb9"
                             " \xe7\x87\x88.ulx");
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, 0, story.c_str(), -1, nullptr, 0, nullptr, &lost);
    ASSERT_TRUE(lost) << "the system's code page " << GetACP() << " holds the name";
    std::filesystem::copy_file(binary_dir / "stories/lantern.ulx", story);

    std::string error;
    auto glulxe =
        child_process::start({{argument_of(binary_dir / ("glulxe" + exe)), argument_of(story)},
                              {},
                              argument_of(dir.path()),
                              confinement{}},
                             error);
    ASSERT_TRUE(glulxe) << error;
    glulxe->write(glk_greeting());
    std::string output;
    output_chunk chunk;
    while (output.find("Rain follows you in") == std::string::npos &&
           glulxe->read_output(chunk, -1))
        output += chunk.bytes;
    EXPECT_NE(output.find("Rain follows you in"), std::string::npos) << output;
    // Text mode would have written each line end as CR LF.
    EXPECT_EQ(output.find('\r'), std::string::npos) << output;
}

} // namespace
} // namespace tw
