#pragma once
// What stands behind vantrel-mixerd's model: the virtual card (nothing
// real), the sound server (pulse) or a card's ALSA mixer. The service tells
// the back end when a strip's value changed; the back end tells the service
// when a bound object changed from elsewhere. Both run on the service's one
// thread: the back end's descriptors join the service's poll.

#include "meter_frame.h"
#include "mixer_config.h"
#include "mixer_strips.h"

#include <memory>
#include <poll.h>
#include <span>
#include <string>
#include <vector>

namespace vantrel::mixerd {

class BackendListener {
public:
  virtual ~BackendListener() = default;
  // A bound object's volume is not what the strip holds: the strip takes
  // `levels` (an outside change, or the object's volume when the strip
  // binds to it).
  virtual void OnStripLevels(int strip, SideLevels levels) = 0;
  // The strip's current levels, to apply to an object that appears later.
  virtual SideLevels StripLevels(int strip) const = 0;
  // The whole model, for the aux side (bus levels, sends, routing, effects).
  virtual const MixerState& State() const = 0;
  // A bound object's mute changed elsewhere (or the strip binds to it); the
  // mute the strip holds is in State().
  virtual void OnStripMute(int strip, bool muted) = 0;
  // The applications numbered for "app #N" rules changed (State().apps
  // becomes `apps`), to be remembered across restarts.
  virtual void OnAppNumbers(std::vector<std::string> apps) = 0;
  // An update of the level meters, while metering is on.
  virtual void OnMeters(const MeterFrame& frame) = 0;
  // An aux bus's mute changed elsewhere.
  virtual void OnBusMute(int bus, bool muted) = 0;
};

// One object the back end sees, for "vantrel-mixerctl targets".
struct BackendTarget {
  TargetKind kind = TargetKind::Stream;
  std::string name;
  int strip = -1; // -1: unbound
  std::vector<std::pair<std::string, std::string>> properties;
};

class MixerBackend {
public:
  virtual ~MixerBackend() = default;

  // "virtual", "pulse" or "alsa".
  virtual std::string_view Name() const = 0;
  // A sentence on what it is connected to, for people.
  virtual std::string Status() const = 0;
  // The strip's value changed in the model: drive every object bound to it.
  virtual void Apply(int strip) = 0;
  // Something on the aux side changed in the model (a bus level, a send, a
  // bus's routing or effect); back ends without an aux side ignore it.
  virtual void ApplyAux() {}
  // The strip's mute changed in the model: mute or unmute every object
  // bound to it. A volume set never touches a mute.
  virtual void ApplyMute(int /*strip*/) {}
  virtual std::vector<BackendTarget> Targets() const = 0;
  // Empty when the back end can measure levels, else the sentence saying
  // why it has no meters. SetMetering turns measuring on (OnMeters then
  // follows at most kMeterUpdatesPerSecond a second) and off (every meter
  // stream closed).
  virtual std::string MetersUnavailable() const = 0;
  virtual void SetMetering(bool /*on*/) {}

  // Runs one poll over `fds` (the service's own descriptors, whose revents
  // it fills) and the back end's descriptors, waiting at most `timeoutMs`
  // (-1: no limit), then handles the back end's events. Answers poll's
  // result for the service's descriptors, or -1 with errno on failure.
  virtual int Poll(std::span<pollfd> fds, int timeoutMs);
};

// The back end that drives nothing: the model alone is the card.
std::unique_ptr<MixerBackend> MakeVirtualBackend();

} // namespace vantrel::mixerd
