#include "midi/filter_nrpn.h"

#include "midi/short_message_sink.h"

namespace vantrel {

void SendFilterNrpn(IShortMessageSink& out, int32_t outputChannel, int parameter, int data) {
  const auto status = static_cast<uint8_t>(0xB0 | (outputChannel & 0x0F));
  // Masking keeps every data byte a data byte even for data outside the
  // faders' 5652..9208, which never leaves 7 bits per byte.
  out.SendShort(status, 99, 120);
  out.SendShort(status, 98, static_cast<uint8_t>(parameter & 0x7F));
  out.SendShort(status, 38, static_cast<uint8_t>(data & 0x7F));
  out.SendShort(status, 6, static_cast<uint8_t>((data >> 7) & 0x7F));
}

} // namespace vantrel
