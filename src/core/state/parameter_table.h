#pragma once
// What the program keeps per catalogue row: the controller number that
// drives it, the fader value last shown for it, and whether each MIDI
// source has picked it up (soft takeover), with a reverse index from
// controller number to rows so an incoming controller finds its rows at
// once. Controllers are loaded, committed and learned into it; the
// dispatcher, fader moves and mixer changes write the values; pages,
// feedback and the dispatcher read it. It knows nothing of pages, widgets
// or the mixer. Dialog thread only.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vantrel {

inline constexpr std::size_t kParameterRows = 61;
inline constexpr int32_t kNotMapped = -1;
inline constexpr int32_t kControllerMin = -1;
inline constexpr int32_t kControllerMax = 127;
// Sources of controllers that pick up on their own: the 16 MIDI channels.
inline constexpr std::size_t kControllerSources = 16;

class CParameterTable {
public:
  // An incoming value takes over a row once it comes this close to the
  // row's value (in fader steps) or crosses it.
  static constexpr int kPickUpSteps = 2;

  CParameterTable();

  // Whether a controller number can be sent or matched: 0..127.
  static bool IsMapped(int32_t controller) { return controller >= 0 && controller <= 127; }

  int32_t Controller(std::size_t row) const { return m_rows[row].controller; }
  // Any number is kept (and saved); only 0..127 is indexed.
  void SetController(std::size_t row, int32_t controller);
  // The rows a controller number drives, in catalogue order.
  std::span<const uint8_t> RowsOf(uint8_t controller) const { return m_rowsOf[controller & 0x7F]; }

  int Shown(std::size_t row) const { return m_rows[row].shown; }
  void SetShown(std::size_t row, int value) { m_rows[row].shown = value; }

  // Soft takeover, per row and source (channel). Off: everything takes over.
  bool SoftTakeover() const { return m_softTakeover; }
  void SetSoftTakeover(bool on);
  // Whether incoming value v from `source` may set a row whose value is
  // `current` (both in fader steps) now; remembers v for the crossing test.
  bool TakesOver(std::size_t row, std::size_t source, int v, int current);
  // A source set the row: the others have to pick the new value up.
  void NoteFromSource(std::size_t row, std::size_t source);
  // The screen or something outside the program set the row: every source
  // has to pick it up again.
  void NoteElsewhere(std::size_t row);

private:
  struct PickUp {
    bool pickedUp = false;
    int8_t lastIncoming = -1; // -1: nothing heard since the last reset
  };
  struct Row {
    int32_t controller = kNotMapped;
    int shown = 0;
    std::array<PickUp, kControllerSources> pickUps{};
  };

  std::array<Row, kParameterRows> m_rows{};
  std::array<std::vector<uint8_t>, 128> m_rowsOf;
  bool m_softTakeover = false;
};

} // namespace vantrel
