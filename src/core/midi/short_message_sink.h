#pragma once
// Anything that short MIDI messages can be sent to: the output port, or a
// recorder in tests. Filter sequences and page Control Changes are written
// against this.

#include "midi/midi_result.h"

#include <cstdint>

namespace vantrel {

class IShortMessageSink {
public:
  virtual ~IShortMessageSink() = default;
  // Sends one short message whole. Safe from the MIDI callback thread and
  // the dialog thread at once. 0 when the message left, non-zero when it was
  // dropped; the port counts drops, and senders carry on, since the next
  // value of a control replaces a lost one.
  virtual int SendShort(uint8_t status, uint8_t data1, uint8_t data2) = 0;
};

} // namespace vantrel
