#include "app/surface_protocol.h"

#include "settings/settings.h"
#include "text/ascii_text.h"

#include <cstdio>
#include <string>

namespace vantrel {

std::optional<SurfaceProtocol> ParseSurfaceProtocol(std::string_view text) {
  const std::string_view trimmed = TrimBlanks(text);
  if (trimmed.empty() || EqualsIgnoringAsciiCase(trimmed, "none")) {
    return SurfaceProtocol::None;
  }
  if (EqualsIgnoringAsciiCase(trimmed, "mackie")) {
    return SurfaceProtocol::Mackie;
  }
  return std::nullopt;
}

std::string_view SurfaceProtocolName(SurfaceProtocol protocol) {
  return protocol == SurfaceProtocol::Mackie ? "mackie" : "none";
}

SurfaceProtocol ReadSurfaceProtocol(const CSettings* settings) {
  if (settings == nullptr) {
    return SurfaceProtocol::None;
  }
  const std::string text = settings->Read(kSurfaceProtocolKey);
  const std::optional<SurfaceProtocol> protocol = ParseSurfaceProtocol(text);
  if (!protocol) {
    std::fprintf(stderr,
                 "vantrel: the profile sets [%s] %s=%s, which is neither none nor mackie; "
                 "no surface protocol is spoken.\n",
                 std::string(kSurfaceProtocolKey.section).c_str(),
                 std::string(kSurfaceProtocolKey.name).c_str(), text.c_str());
  }
  return protocol.value_or(SurfaceProtocol::None);
}

} // namespace vantrel
