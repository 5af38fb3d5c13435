#pragma once
// The sound server back end: PulseAudio, or PipeWire through pipewire-pulse,
// on libpulse's asynchronous API. Its main loop runs inside the service's
// own poll (one thread). When the server is missing or goes away it tries
// again once a second and the model answers meanwhile.

#include "mixer_backend.h"

#include <chrono>
#include <memory>

namespace vantrel::mixerd {

// Starts connecting and waits up to `wait` for a server to answer.
// `answered` tells whether one did; the back end is usable either way.
std::unique_ptr<MixerBackend> MakePulseBackend(const MixerConfig& config, BackendListener& listener,
                                               std::chrono::milliseconds wait, bool& answered);

} // namespace vantrel::mixerd
