// The pulse back end's reading of reports: our own set's echo, older news,
// PipeWire's restore of a new stream's volume, or a change made elsewhere
// that the strip takes.

#include "pulse_backend_class.h"

#include "pulse_volume.h"

#include <algorithm>

namespace vantrel::mixerd {

// A bound object's mute as reported: our own set (or older news than it)
// is ignored; a mute changed elsewhere goes to the strip.
void PulseBackend::CheckOutsideMute(Object& object, bool reported) {
  const bool changed = reported != object.muted;
  object.muted = reported;
  if (object.strip < 0 || !changed || reported == StripMuted(m_listener.State(), object.strip) ||
      (object.muteSettleUntil && Clock::now() < *object.muteSettleUntil)) {
    return;
  }
  m_listener.OnStripMute(object.strip, reported);
}

// A report of a bound object: the echo of our own set, the server
// restoring a new stream's remembered volume (undone), older news than a
// set still on its way, or a change made elsewhere, which the strip takes.
void PulseBackend::CheckOutsideChange(Object& object, const std::vector<int64_t>& previous) {
  if (object.strip < 0) {
    return;
  }
  const auto now = Clock::now();
  const SideLevels wanted = m_listener.StripLevels(object.strip);
  const std::vector<int64_t> reported = VolumeValues(object.volume);
  const bool restoring = object.restoreUntil && now < *object.restoreUntil;
  const bool wantedVolume = SameVolumes(
      VolumeValues(VolumeOfLevels(object.map, wanted, m_config.taper)), reported, kVolumeTolerance);
  if (wantedVolume) {
    object.echo.Settled();
  }
  const EchoFilter::Report report = wantedVolume
                                        ? EchoFilter::Report::Echo
                                        : object.echo.Classify(reported, kVolumeTolerance, now);
  if (report == EchoFilter::Report::Echo) {
    if (restoring) {
      // The restore follows the stream's first volume closely.
      object.restoreUntil = std::min(*object.restoreUntil, now + kRestoreWindow);
    }
    return;
  }
  if (restoring) {
    // Even a report of the stream's first volume may be the server's
    // restore landing after our set rather than older news: the strip's
    // value goes out again, so the stream ends on it either way.
    SetVolume(object, wanted);
    return;
  }
  if (report == EchoFilter::Report::Stale || SameVolumes(reported, previous, kVolumeTolerance)) {
    return;
  }
  object.restoreUntil.reset();
  m_listener.OnStripLevels(object.strip, LevelsOfVolume(object.map, object.volume, m_config.taper));
}

} // namespace vantrel::mixerd
