#include "backend_factory.h"

#include "alsa_backend.h"
#include "pulse_backend.h"

#include <chrono>

namespace vantrel::mixerd {

namespace {
// How long "auto" and "pulse" wait for a sound server to answer at start;
// a local one answers within a tenth of a second.
constexpr std::chrono::milliseconds kServerWait{1000};
} // namespace

std::unique_ptr<MixerBackend> MakeBackend(const std::string& choice, const MixerConfig& config,
                                          BackendListener& listener, std::string& why) {
  if (choice == "virtual") {
    why = "chosen";
    return MakeVirtualBackend();
  }
  if (choice == "alsa") {
    return MakeAlsaBackend(config, listener, MissingCard::Wait, why);
  }
  bool answered = false;
  auto pulse = MakePulseBackend(config, listener, kServerWait, answered);
  if (answered) {
    why = "a sound server answers: " + pulse->Status();
    return pulse;
  }
  if (choice == "pulse") {
    why = "chosen, but no sound server answers yet; trying again once a second";
    return pulse;
  }
  pulse.reset();
  std::string alsaWhy;
  if (auto alsa = MakeAlsaBackend(config, listener, MissingCard::Refuse, alsaWhy)) {
    why = "no sound server answers, but " + alsaWhy;
    return alsa;
  }
  why = "no sound server answers and " + alsaWhy;
  return MakeVirtualBackend();
}

} // namespace vantrel::mixerd
