#include "core/platform/settings.h"

#include "core/platform/atomic_file.h"
#include "core/text/utf8.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <system_error>

namespace tw {
namespace {

std::optional<int> number(const nlohmann::json& doc, const char* key) {
    auto it = doc.find(key);
    if (it == doc.end() || !it->is_number_integer())
        return std::nullopt;
    return it->get<int>();
}

} // namespace

player_settings load_settings(const std::filesystem::path& file, std::string& problem) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return {};
    std::ifstream in(file, std::ios::binary);
    auto doc = nlohmann::json::parse(in, nullptr, false);
    if (!in || doc.is_discarded() || !doc.is_object()) {
        problem =
            "the settings file " + utf8_of(file) + " could not be read; the defaults are used";
        return {};
    }
    player_settings settings;
    settings.speech_rate_offset = number(doc, "speech_rate_offset");
    settings.text_size = number(doc, "text_size");
    settings.speech_rate = number(doc, "speech_rate");
    auto braille = doc.find("braille");
    settings.braille = braille != doc.end() && braille->is_boolean() && braille->get<bool>();
    return settings;
}

bool save_settings(const std::filesystem::path& file, const player_settings& settings) {
    nlohmann::json doc = nlohmann::json::object();
    if (settings.speech_rate_offset)
        doc["speech_rate_offset"] = *settings.speech_rate_offset;
    if (settings.speech_rate)
        doc["speech_rate"] = *settings.speech_rate;
    if (settings.text_size)
        doc["text_size"] = *settings.text_size;
    if (settings.braille)
        doc["braille"] = true;
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    atomic_file out(file);
    return out.write(doc.dump(2) + "\n") && out.commit();
}

bool adopt_old_speech_rate(player_settings& settings, std::optional<int> reader_rate) {
    if (!settings.speech_rate)
        return false;
    // An offset already there was written later, by a Tallowick that knew.
    if (!settings.speech_rate_offset)
        settings.speech_rate_offset = *settings.speech_rate - reader_rate.value_or(0);
    settings.speech_rate.reset();
    return true;
}

} // namespace tw
