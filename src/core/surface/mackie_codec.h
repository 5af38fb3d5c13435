#pragma once
// The Mackie Control messages this program reads and writes, as its public
// documentation gives them. Incoming: faders as 14-bit pitch bend on MIDI
// channels 1-8 (strips) and 9 (master), touch and buttons as notes (Note On
// velocity 127 pressed, 0 or Note Off released), V-Pots as relative Control
// Changes 16-23 (bit 6 set: counter-clockwise; bits 0-5: how many ticks).
// Outgoing: motor faders as pitch bend, button LEDs as Note On (127 on, 0
// off), V-Pot rings as Control Changes 48-55, the displays as system
// exclusive text, meters as channel pressure. Pure functions: any thread.

#include "midi/midi_message.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vantrel::mackie {

inline constexpr std::size_t kStrips = 8;
inline constexpr std::size_t kMasterStrip = 8; // its fader is channel 9
inline constexpr int kFaderMax = 16383;
inline constexpr std::size_t kDisplayColumns = 7; // per strip and row
inline constexpr uint8_t kVPotFirst = 16;
inline constexpr uint8_t kRingFirst = 48;

// Buttons by what they do; per-strip buttons carry their strip.
enum class Button : uint8_t {
  Record,
  Solo,
  Mute,
  Select,
  VPotPush,
  AssignTrack,
  AssignSend,
  AssignPan,
  AssignPlugin,
  AssignEq,
  AssignInstrument,
  BankLeft,
  BankRight,
  ChannelLeft,
  ChannelRight,
  Flip,
  Touch, // a finger on a fader; strip 8 is the master
};

struct Input {
  enum class Kind : uint8_t { None, Fader, VPot, Button };
  Kind kind = Kind::None;
  uint8_t strip = 0; // 0..7, 8 for the master fader and its touch
  int value = 0;     // Fader: 0..16383; VPot: signed ticks
  Button button = Button::Record;
  bool pressed = false;
  bool operator==(const Input&) const = default;
};

// What a message from the surface means; Kind::None for anything else.
Input Decode(const CMidiMessage& message);

// The note of a button (of a strip's button, for that strip).
uint8_t NoteOf(Button button, std::size_t strip = 0);

struct ShortMessage {
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
  bool operator==(const ShortMessage&) const = default;
};

ShortMessage FaderMessage(std::size_t strip, int value);
ShortMessage LedMessage(Button button, std::size_t strip, bool on);

// A V-Pot ring: off, or a position 1..11 shown as one dot (a pan) or as a
// bar filled from the left (a level).
enum class RingMode : uint8_t { Dot = 0, Bar = 2 };
ShortMessage RingMessage(std::size_t strip, RingMode mode, int position);

// The level meter of a strip: 0 (nothing) to 12 (clip).
inline constexpr int kMeterMax = 12;
ShortMessage MeterMessage(std::size_t strip, int level);
// The meter level of a peak in hundredths of a dB below full scale: 5 dB
// a step, 12 from -5 dB up, 0 below -55 dB.
int MeterLevelOfPeak(int32_t centiDecibels);

// Text at one strip's place on the display, top row (0) or bottom row (1):
// exactly kDisplayColumns characters, padded with blanks; anything outside
// printable ASCII shows as '?'.
std::vector<uint8_t> DisplayMessage(std::size_t strip, int row, std::string_view text);

// The device query a host sends when it starts.
inline constexpr std::array<uint8_t, 7> kDeviceQuery = {0xF0, 0x00, 0x00, 0x66, 0x14, 0x00, 0xF7};

// What a surface says to the device query (a connection query also comes
// on its own when a surface is switched on). The header's model ID tells
// the surfaces apart: 0x14 Mackie Control, 0x15 its Extender, 0x10 and 0x11
// the Logic Control and its Extender, which answer the same way. Some
// surfaces answer only with their firmware version, or with the universal
// identity reply.
struct DeviceAnswer {
  enum class Kind : uint8_t {
    None,            // not an answer
    ConnectionQuery, // serial number and challenge; the host replies
    Confirmation,    // the host's reply was accepted
    Refusal,         // the host's reply was refused
    Version,         // the firmware version, as text
    Identity,        // the universal identity reply
  };
  Kind kind = Kind::None;
  uint8_t model = 0;
  std::array<uint8_t, 7> serial{};
  std::array<uint8_t, 4> challenge{};
  bool operator==(const DeviceAnswer&) const = default;
};

// Reads one system exclusive message from the surface; Kind::None for
// anything that is not a well-formed answer.
DeviceAnswer DecodeDeviceAnswer(std::span<const uint8_t> bytes);
// The response code the surface expects to its challenge.
std::array<uint8_t, 4> ChallengeResponse(const std::array<uint8_t, 4>& challenge);
// The host's reply to a connection query: its model, serial number and the
// response to its challenge.
std::vector<uint8_t> ConnectionReply(const DeviceAnswer& query);
// The model's name, as a user knows it.
std::string_view ModelName(uint8_t model);

} // namespace vantrel::mackie
