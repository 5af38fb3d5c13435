#pragma once
// The application-wide state that ties main window, pages and dispatcher
// together. Plain values; dialog thread only. The MIDI callback thread never
// touches it.

#include <array>
#include <cstdint>

namespace vantrel {

class CPageModel;

inline constexpr int kPageCount = 8;

struct AppState {
  int32_t inputDevice = 0;   // device index in the backend's list, -1 none
  int32_t outputDevice = 0;  // the same for output
  int32_t outputChannel = 0; // "Out Chn" minus 1; its low four bits are sent
  int32_t currentPage = 0;   // 1..8; anything else means no page on screen
  // One slot per page number 1..8 (index number - 1); empty until the page
  // has been created.
  std::array<CPageModel*, kPageCount> pageSlots{};

  // The page object of a page number, or null for an empty slot or a
  // number outside 1..8.
  CPageModel* Slot(int32_t pageNumber) const {
    return pageNumber >= 1 && pageNumber <= kPageCount ? pageSlots[pageNumber - 1] : nullptr;
  }
  CPageModel* CurrentPageModel() const { return Slot(currentPage); }

  // Status byte of a Control Change on the output channel.
  uint8_t ControlChangeStatus() const {
    return static_cast<uint8_t>(0xB0 | (outputChannel & 0x0F));
  }
};

} // namespace vantrel
