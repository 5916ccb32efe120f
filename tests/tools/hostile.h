#pragma once
// The fake interpreter's hostile mode (hostile.cpp), Linux only.
#include <string>

namespace tw::test {

struct hostile_targets {
    std::string secret;        // a file in the test's home; its folder is the home
    std::string outside;       // a folder outside the save folder
    std::string port;          // a listener on 127.0.0.1
    std::string speech_socket; // the test's speech-dispatcher
    std::string victim;        // the id of another process of the test
};

// Tries everything a taken-over interpreter would, from the save folder, and
// gives `out` what came of each; `story` is its own, to read.
void hostile(const hostile_targets& targets, const std::string& story,
             void (*out)(const std::string&));

// Writes one byte a gibibyte into a file: past the cap on file size.
void grow_past_the_cap();

} // namespace tw::test
