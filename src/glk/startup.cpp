// The program's entry: checks the command line against the program's
// glkunix_arguments, reads the display's init event, and runs glk_main().
#include "glk/library.h"
#include "glk/platform.h"
#ifdef _WIN32
#include "glk/platform_win32.h"
#endif

#include <charconv>
#include <string>
#include <vector>

using namespace tw::glk;

namespace {

const glkunix_argumentlist_t* find_argument(std::string_view name) {
    for (auto* argument = glkunix_arguments; argument->argtype != glkunix_arg_End; ++argument)
        if (argument->name && name == argument->name)
            return argument;
    return nullptr;
}

bool is_number(std::string_view text) {
    int value;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// The arguments the program knows, in order; a bad one ends the process
// with an error the display can show.
std::vector<char*> checked_arguments(int argc, char** argv) {
    auto& lib = library::get();
    std::vector<char*> kept{argv[0]};
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        bool option = arg.size() > 1 && arg[0] == '-';
        const auto* known = find_argument(option ? arg : "");
        if (!known)
            lib.fail(option ? "The interpreter has no option " + std::string(arg) + "."
                            : "The interpreter was given a file it does not take: " +
                                  std::string(arg) + ".");
        kept.push_back(argv[i]);
        if (!option)
            continue;
        bool has_value = i + 1 < argc;
        switch (known->argtype) {
        case glkunix_arg_ValueFollows:
            if (!has_value)
                lib.fail("The option " + std::string(arg) + " needs a value.");
            kept.push_back(argv[++i]);
            break;
        case glkunix_arg_NumberValue:
            if (!has_value || !is_number(argv[i + 1]))
                lib.fail("The option " + std::string(arg) + " needs a number.");
            kept.push_back(argv[++i]);
            break;
        case glkunix_arg_ValueCanFollow:
            if (has_value && argv[i + 1][0] != '-')
                kept.push_back(argv[++i]);
            break;
        default:
            break;
        }
    }
    return kept;
}

} // namespace

int main(int argc, char** argv) {
    use_binary_stdio();
#ifdef _WIN32
    auto utf8 = utf8_arguments();
    std::vector<char*> utf8_argv;
    for (auto& argument : utf8)
        utf8_argv.push_back(argument.data());
    if (!utf8_argv.empty()) {
        argc = static_cast<int>(utf8_argv.size());
        utf8_argv.push_back(nullptr);
        argv = utf8_argv.data();
    }
#endif
    auto& lib = library::get();
    auto arguments = checked_arguments(argc, argv);
    lib.start_session();
    glkunix_startup_t startup{static_cast<int>(arguments.size()), arguments.data()};
    if (!glkunix_startup_code(&startup))
        lib.fail("The story could not be started.");
    glk_main();
    glk_exit();
}
