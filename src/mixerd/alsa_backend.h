#pragma once
// The ALSA back end: a card's simple mixer elements (Master, Capture, Line,
// Mic...), set in dB where the element has a dB range, else on its raw
// range. Its events come from the mixer's poll descriptors in the service's
// poll.

#include "mixer_backend.h"

#include <memory>

namespace vantrel::mixerd {

// Opens the mixer of `config.card`; null with `why` when it has none.
std::unique_ptr<MixerBackend> MakeAlsaBackend(const MixerConfig& config, IBackendListener& listener,
                                              std::string& why);

} // namespace vantrel::mixerd
