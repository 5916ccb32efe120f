#pragma once
// What the process needs from its platform before the toolkit starts: the
// command line as UTF-8, and standard streams and an environment fit for
// it. One implementation per toolkit.
#include <string>
#include <vector>

namespace tw {

// The arguments after the program's name, in UTF-8 whatever the system's
// code page.
std::vector<std::string> command_line_arguments(int argc, char** argv);

// Readies the standard streams and the toolkit's environment; called first.
void prepare_process();

} // namespace tw
