#pragma once
// The one road by which the program talks to the player. speak() may be
// called from any thread and never blocks on the speech service: texts are
// queued and handed over, in order, by one speech thread that owns the one
// connection to the service.
#include "core/speech/voice.h"

#include <memory>
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

// Speaks from now on with `v`.
void set_voice(const voice& v);

// Waits until every text queued so far has been handed to the backend (or
// dropped because the service cannot be reached).
void speech_flush();

// The platform's speech service behind speak(). Methods are called on the
// speech thread only.
class speech_backend {
  public:
    virtual ~speech_backend() = default;
    // Hands one non-empty text over for speaking, after what is queued.
    // Returns false when the service cannot be reached.
    virtual bool say(const std::string& text) = 0;
    // Cancels what is queued or being spoken.
    virtual void cancel() = 0;
    // Speaks what comes next with `v`.
    virtual void set_voice(const voice& v) = 0;
};

// The platform's own backend (speech-dispatcher on Linux).
std::unique_ptr<speech_backend> make_platform_speech();

// Replaces the backend, e.g. by a recorder in tests. Texts queued before go
// to the old backend; returns once the switch is done. A null backend means
// a new one from make_platform_speech(), made when the next text comes.
void set_speech_backend(std::unique_ptr<speech_backend> backend);

} // namespace tw
