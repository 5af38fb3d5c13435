#pragma once
// A Mackie Control surface on the MIDI input and output pair. Incoming
// messages (from the surface's message queue) move the mixer through the
// same catalogue rows and scales as every strip: faders as 14-bit values,
// V-Pots as steps of a pan or an aux send (the assignment buttons choose),
// Mute buttons the strip's real mute, Select one strip, Bank and Channel
// the eight strips over the 18 channels. Every strip's motor fader, ring,
// LEDs and display follow the mixer's values whatever changed them, at most
// one update per strip per kStripUpdateIntervalMs, the last value always
// sent; a fader held under a finger gets no motor moves. Dialog thread only.

#include "midi/midi_message.h"
#include "mixer/meter_levels.h"
#include "surface/strip_view.h"
#include "surface/surface_channels.h"

#include <array>
#include <chrono>
#include <optional>
#include <span>
#include <string>

namespace vantrel {

struct BridgeContext;
class CMidiOutPort;

class CMackieSurface {
public:
  using Clock = std::chrono::steady_clock;
  // What the V-Pots set.
  enum class VPotTarget : uint8_t { Pan, Send1, Send2 };

  CMackieSurface(BridgeContext& context, CMidiOutPort& output);

  // One message from the surface.
  void OnMessage(const CMidiMessage& message, Clock::time_point now);
  // Sends every strip whose view changed and whose interval has ended.
  void Refresh(Clock::time_point now);
  // How long until a held-back update is due; nullopt when none waits.
  std::optional<std::chrono::milliseconds> NextDue(Clock::time_point now) const;
  // The surface's state is unknown (its output just opened): everything is
  // sent again at the next Refresh.
  void Forget();

  // One update of the level meters: the strips on the surface whose
  // fader's value it measures get their meter (meters are not paced: the
  // server sends them a few dozen times a second).
  void ShowMeters(std::span<const mixer_dbus::MeterReading> readings);

  // The names of the applications bound to channels, by channel name as the
  // mixer calls its strips ("Analog 1"); an empty name shows the channel's own.
  void SetBoundName(std::size_t channel, std::string name);

private:
  StripView Wanted(std::size_t strip) const;
  void Send(std::size_t strip, const StripView& wanted);
  void OnFader(std::size_t strip, int value);
  void OnVPot(std::size_t strip, int ticks);
  void OnButton(std::size_t strip, mackie::Button button, bool pressed);
  void MoveBank(int by);
  std::optional<std::size_t> VPotRow(const SurfaceChannel& channel) const;
  void SendAssignLeds();

  BridgeContext& m_context;
  CMidiOutPort& m_output;
  std::size_t m_first = 0; // channel on strip 0
  VPotTarget m_vpots = VPotTarget::Pan;
  std::optional<std::size_t> m_selected; // channel
  std::array<bool, mackie::kStrips + 1> m_touched{};
  std::array<StripView, mackie::kStrips + 1> m_sent{};
  std::array<Clock::time_point, mackie::kStrips + 1> m_lastSent{};
  std::array<bool, mackie::kStrips + 1> m_waiting{};
  std::array<std::string, kSurfaceChannelCount> m_boundNames;
};

} // namespace vantrel
