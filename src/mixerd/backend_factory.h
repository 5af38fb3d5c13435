#pragma once
// Choosing the back end at start. It lives apart from the back-end seam
// (mixer_backend.h) because it names every back end: the seam stays free of
// the back ends it abstracts, and only the service includes this.

#include "mixer_backend.h"

#include <memory>
#include <string>

namespace vantrel::mixerd {

// Chooses and starts the back end `choice` ("auto", "virtual", "pulse",
// "alsa"). "auto" takes pulse when a sound server answers, else alsa when
// the configured card has a mixer, else virtual; `why` says which it took
// and why. Null with `why` when the choice cannot start at all.
std::unique_ptr<MixerBackend> MakeBackend(const std::string& choice, const MixerConfig& config,
                                          BackendListener& listener, std::string& why);

} // namespace vantrel::mixerd
