#include "ui/startup.h"

#include <cstdlib>

namespace tw {

std::vector<std::string> command_line_arguments(int argc, char** argv) {
    // The bytes as they are: a name in another encoding still names its file.
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void prepare_process() {
    // The program draws nothing with OpenGL; GTK's probe for it costs a
    // first start a quarter of a second and tens of megabytes.
    setenv("GDK_GL", "disable", 0);
}

} // namespace tw
