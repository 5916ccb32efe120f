#include "core/speech/voice.h"

#include "core/text/utf8.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <system_error>

namespace tw {
namespace {

using json = nlohmann::json;

// Orca's own scales (rate 0-99, pitch and gain 0-9) to speech-dispatcher's,
// as Orca's speech-dispatcher driver converts them; a value left out is the
// one Orca sets then.
int scaled(const json& acss, const char* key, double orca_default, double factor, double offset,
           double top) {
    auto it = acss.find(key);
    const double value = it != acss.end() && it->is_number() ? it->get<double>() : orca_default;
    return static_cast<int>(factor * std::clamp(value, 0.0, top) + offset);
}

std::string text(const json& doc, const json::json_pointer& at) {
    return doc.contains(at) && doc.at(at).is_string() ? doc.at(at).get<std::string>() : "";
}

} // namespace

std::optional<voice> orca_voice(const std::filesystem::path& settings_file, std::string& problem) {
    std::error_code ec;
    if (!std::filesystem::exists(settings_file, ec))
        return std::nullopt;
    std::ifstream in(settings_file, std::ios::binary);
    json prefs = json::parse(in, nullptr, false);
    if (!in || prefs.is_discarded() || !prefs.is_object()) {
        problem = "the screen reader's settings " + utf8_of(settings_file) + " could not be read";
        return std::nullopt;
    }
    // The starting profile's settings stand over the general ones.
    json settings = prefs.value("general", json::object());
    std::string profile = text(settings, "/startingProfile/1"_json_pointer);
    const json& profiles = prefs.value("profiles", json::object());
    if (auto p = profiles.find(profile.empty() ? "default" : profile);
        p != profiles.end() && p->is_object())
        for (auto& [key, value] : p->items())
            settings[key] = value;
    const json& found = settings.contains("/voices/default"_json_pointer)
                            ? settings.at("/voices/default"_json_pointer)
                            : json::object();
    const json& acss = found.is_object() ? found : json::object();
    voice v;
    v.rate = scaled(acss, "rate", 50, 2, -98, 99);
    v.pitch = scaled(acss, "average-pitch", 5, 20, -90, 9);
    v.volume = scaled(acss, "gain", 10, 15, -35, 9);
    v.name = text(acss, "/family/name"_json_pointer);
    std::string module = text(settings, "/speechServerInfo/1"_json_pointer);
    if (module != "default")
        v.module = module;
    return v;
}

std::optional<int> offset_rate(std::optional<int> reader_rate, std::optional<int> offset) {
    if (!reader_rate && !offset)
        return std::nullopt;
    return std::clamp(reader_rate.value_or(0) + offset.value_or(0), -100, 100);
}

int changed_rate_offset(std::optional<int> reader_rate, std::optional<int> offset, int steps) {
    const int base = reader_rate.value_or(0);
    const int heard = std::clamp(base + offset.value_or(0), -100, 100);
    return std::clamp(heard + steps * rate_step, -100, 100) - base;
}

} // namespace tw
