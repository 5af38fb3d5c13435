#pragma once
// The ALSA back end: a card's simple mixer elements (Master, Capture, Line,
// Mic...), set in dB where the element has a dB range, else on its raw
// range. Its events come from the mixer's poll descriptors in the service's
// poll.

#include "mixer_backend.h"

#include <memory>

namespace vantrel::mixerd {

// What MakeAlsaBackend does when the card has no mixer yet.
enum class MissingCard {
  Refuse, // null, so that the caller can choose another back end
  Wait,   // a back end that tries the card once a second, as after an unplug
};

// Opens the mixer of `config.card`; `why` says what came of it.
std::unique_ptr<MixerBackend> MakeAlsaBackend(const MixerConfig& config, BackendListener& listener,
                                              MissingCard missing, std::string& why);

} // namespace vantrel::mixerd
