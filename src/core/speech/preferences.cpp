#include "core/speech/preferences.h"

#include "core/speech/speech.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace tw {

void player_preferences::load() {
    if (loaded)
        return;
    loaded = true;
    std::string problem;
    settings = load_settings(settings_file, problem);
    if (!problem.empty())
        std::fprintf(stderr, "tallowick: %s\n", problem.c_str());
    if (settings.braille)
        set_braille(true);
}

voice player_preferences::voice_for_a_game() {
    load();
    std::string problem;
    speaking = reader_file ? orca_voice(*reader_file, problem).value_or(voice{}) : voice{};
    if (!problem.empty())
        std::fprintf(stderr, "tallowick: %s\n", problem.c_str());
    reader_rate = speaking.rate;
    if (adopt_old_speech_rate(settings, reader_rate))
        save();
    speaking.rate = offset_rate(reader_rate, settings.speech_rate_offset);
    return speaking;
}

voice player_preferences::change_rate(int steps) {
    settings.speech_rate_offset =
        changed_rate_offset(reader_rate, settings.speech_rate_offset, steps);
    speaking.rate = offset_rate(reader_rate, settings.speech_rate_offset);
    save();
    return speaking;
}

std::optional<int> player_preferences::change_text_size(int steps, int current) {
    if (steps == 0)
        return settings.text_size;
    constexpr int smallest = 6, largest = 72;
    settings.text_size = std::clamp(current + 2 * steps, smallest, largest);
    save();
    return settings.text_size;
}

void player_preferences::toggle_braille() {
    load();
    settings.braille = !settings.braille;
    save();
    // Either sentence is shown in braille: the last thing shown, or the first.
    if (settings.braille) {
        set_braille(true);
        speak("Braille on.", true);
    } else {
        speak("Braille off.", true);
        set_braille(false);
    }
}

void player_preferences::save() {
    if (!save_settings(settings_file, settings))
        std::fprintf(stderr, "tallowick: the settings could not be saved\n");
}

} // namespace tw
