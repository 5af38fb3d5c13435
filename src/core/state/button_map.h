#pragma once
// Which button toggles each of the 19 mutes (in the order of the mute
// table and of the profile's "Button Mapping" keys): none, a Control Change
// number or a note number, any channel, momentary or latch. A momentary
// button toggles its mute on each press (a controller value of 64 or more,
// or a Note On with a velocity) and ignores the release; a latch button
// follows its value (64 or more, or a Note On, is muted). Dialog thread only.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

inline constexpr std::size_t kButtonCount = 19;

struct ButtonBinding {
  enum class Kind : uint8_t { None, Controller, Note };
  Kind kind = Kind::None;
  uint8_t number = 0; // 0..127
  bool latch = false;
  bool operator==(const ButtonBinding&) const = default;

  bool IsMapped() const { return kind != Kind::None; }
};

// "-1", "CC n" or "Note n" (n 0..127), each optionally followed by
// " latch"; words match without regard to case and blanks may repeat.
// nullopt for anything else.
std::optional<ButtonBinding> ParseButtonBinding(std::string_view text);
// The profile's text of a binding: "-1", "CC 20", "Note 36 latch".
std::string FormatButtonBinding(const ButtonBinding& binding);

class CButtonMap {
public:
  const ButtonBinding& Binding(std::size_t mute) const { return m_bindings[mute]; }
  void SetBinding(std::size_t mute, const ButtonBinding& binding) { m_bindings[mute] = binding; }

  // Calls visit(mute) for every mute whose button is this message's kind
  // and number, in table order.
  template <typename Visit>
  void ForEachMuteOf(ButtonBinding::Kind kind, uint8_t number, Visit visit) const {
    for (std::size_t mute = 0; mute < m_bindings.size(); ++mute) {
      if (m_bindings[mute].kind == kind && m_bindings[mute].number == number) {
        visit(mute);
      }
    }
  }

private:
  std::array<ButtonBinding, kButtonCount> m_bindings{};
};

} // namespace vantrel
