#pragma once
// The one road by which the program talks to the player. speak() may be
// called from any thread and never blocks on the speech service: texts are
// queued and handed over, in order, by one speech thread that owns the one
// connection to the service. Where the service tells when a text has ended
// (speech-dispatcher), the thread hands over one text at a time and speaks
// below the screen reader: the screen reader's speech cuts ours, and the piece
// it cut is said again, whole, once the screen reader is done.
#include "core/speech/voice.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

// Queues `text` after what is already waiting. With `interrupt`, what is
// waiting or being spoken is cancelled first. An empty text does nothing.
// Never throws. While the service cannot be reached, texts are dropped: the
// failure is reported once on stderr and the service is tried again every
// few seconds, so one started later is picked up.
void speak(std::string_view text, bool interrupt = false);

// Silences at once what is being said and drops everything queued.
void speech_stop();

// For leaving the program: silences what is being said, drops everything
// queued, makes the service drop what it holds of ours and closes the
// connection; every text after is ignored. Returns true once the service has
// confirmed, false when it had not within half a second (a service that
// hangs must not hold the program's exit). Never throws.
bool speech_close();

// Speaks from now on with `v`.
void set_voice(const voice& v);

// Tells `listener` whether Tallowick speaks now, and then, on the speech
// thread, each time it starts to speak or falls silent with nothing left to
// say, so that the games' sounds give way meanwhile. Only where the service
// tells when each text ends; one listener at a time, which must not call
// back into speech.
void set_speaking_listener(std::function<void(bool speaking)> listener);

// From now on, with `on`, every text spoken is also shown on the braille
// display, where the service has one (NVDA's); off at first.
void set_braille(bool on);

// Where the platform's screen reader keeps the voice the player chose, for
// Tallowick to speak alike (Orca's settings); none where there is no such
// file to read.
std::optional<std::filesystem::path> screen_reader_voice_file();

// Waits until every text queued so far has been spoken to its end (or
// dropped, or handed to a service that does not tell when a text ends). For
// tests: a service that never ends a text keeps it waiting.
void speech_flush();

// How a text handed to a backend ended.
enum class text_ending {
    heard, // said to its end, or the backend cannot tell
    cut,   // cut off by other speech; to be said again, whole
    woken, // wake() was called: the queue wants the speech thread
    lost,  // the service went away, or never ended the text
};

// The platform's speech service behind speak(). Methods are called on the
// speech thread only, but for wake().
class speech_backend {
  public:
    virtual ~speech_backend() = default;
    // Hands one non-empty text over for speaking. Returns false when the
    // service cannot be reached.
    virtual bool say(const std::string& text) = 0;
    // Waits until the text handed over last has ended. A backend that cannot
    // tell returns `heard` at once and is handed texts as fast as they come.
    virtual text_ending wait_for_end() { return text_ending::heard; }
    // From any thread: makes the wait_for_end() under way, or else the next
    // one, return `woken` at once.
    virtual void wake() {}
    // Whether wait_for_end() waits for the end.
    virtual bool tells_end() const { return false; }
    // Cancels what is queued or being spoken.
    virtual void cancel() = 0;
    // Speaks what comes next with `v`.
    virtual void set_voice(const voice& v) = 0;
    // Shows `text` on the braille display, where the service has one.
    virtual void braille(const std::string&) {}
};

// The platform's own backend (speech-dispatcher on Linux).
std::unique_ptr<speech_backend> make_platform_speech();

// Replaces the backend, e.g. by a recorder in tests. Texts queued before go
// to the old backend; returns once the switch is done. A null backend means
// a new one from make_platform_speech(), made when the next text comes.
void set_speech_backend(std::unique_ptr<speech_backend> backend);

} // namespace tw
