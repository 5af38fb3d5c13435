#pragma once
// The protocols the chosen MIDI input and output can speak as a pair.

#include <optional>
#include <string_view>

namespace vantrel {

// None: plain Control Changes, thru and mapping; Mackie: a Mackie Control
// surface.
enum class SurfaceProtocol { None, Mackie };

// "mackie" or "none" (or empty), without regard to case or surrounding
// blanks; nullopt for anything else.
std::optional<SurfaceProtocol> ParseSurfaceProtocol(std::string_view text);
std::string_view SurfaceProtocolName(SurfaceProtocol protocol);

class CSettings;
// SurfaceProtocol from the profile (settings may be null: none). A value
// that names no protocol is reported on standard error and read as none.
SurfaceProtocol ReadSurfaceProtocol(const CSettings* settings);

} // namespace vantrel
