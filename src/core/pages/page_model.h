#pragma once
// One mixer page without widgets: its strips' controller numbers, read-outs,
// labels and fader values, and what loading, saving, a refresh, a fader move,
// an incoming controller, a commit and an effect choice do. The Qt page is a
// view of this; the headless bridge and most tests use it alone. Dialog
// thread only.

#include "mixer/mixer_mirror.h"
#include "pages/page_table.h"
#include "state/controller_modes.h"
#include "state/parameter_table.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct BridgeContext;
class IMixerServer;

// What a page model needs from its widgets.
class IPageView {
public:
  virtual ~IPageView() = default;
  // Positions a fader without sending anything.
  virtual void ShowFaderValue(std::size_t strip, int value) = 0;
  // Shows every member in its control (controller numbers, read-outs,
  // labels), replacing any text typed and not committed.
  virtual void ShowMembers() = 0;
  // Shows one strip's fader, read-out and label as the model has them,
  // leaving its controller field (and any text typed there) alone.
  virtual void ShowStrip(std::size_t strip) = 0;
  // Whether the user holds the fader (dragging it): a refresh leaves it be.
  virtual bool IsFaderHeld(std::size_t /*strip*/) const { return false; }
};

enum class CommitError { None, NotInteger, OutOfRange };

struct CommitResult {
  CommitError error = CommitError::None;
  std::size_t strip = 0; // the refused field's strip when error is set
};

// The messages a refused field gets.
inline constexpr std::string_view kNotIntegerMessage = "Please enter an integer.";
inline constexpr std::string_view kOutOfRangeMessage =
    "Please enter an integer between -1 and 127.";

// A field's text as an integer: optional blanks, optional minus sign, digits,
// optional blanks; nothing else, and it must fit 32 bits.
std::optional<int32_t> ParseFieldInteger(std::string_view text);

class CPageModel {
public:
  CPageModel(const PageDef& def, BridgeContext& context);
  CPageModel(const CPageModel&) = delete;
  CPageModel& operator=(const CPageModel&) = delete;

  const PageDef& Def() const { return m_def; }
  std::size_t StripCount() const { return m_def.strips.size(); }
  const Parameter& ParameterOfStrip(std::size_t strip) const;

  int32_t Controller(std::size_t strip) const;
  const std::string& Readout(std::size_t strip) const { return m_strips[strip].readout; }
  const std::string& Label(std::size_t strip) const { return m_strips[strip].label; }
  int FaderValue(std::size_t strip) const;
  std::optional<std::size_t> StripOfRow(std::size_t row) const;

  // The view that shows this page, or null.
  void AttachView(IPageView* view) { m_view = view; }

  // Window initialised: fills the page slot and loads the controller numbers
  // (a missing or empty key gives -1).
  void OnInit();
  // Shown: becomes the current page and refreshes.
  void OnPageShow();
  // Hidden or destroyed: writes every controller number.
  void OnPageHide() const;

  // Reads every parameter back from the mixer and rebuilds the labels, then
  // shows all members. Without a mixer, or before the mixer's values are
  // known, the faders and read-outs keep their values and the labels their
  // captions; so does a fader the user holds.
  void RefreshFromMixer();
  // Values changed elsewhere (`changed`: the mixer's value slots): the
  // strips showing them, and the labels of buses whose routing or effect
  // changed, and strips whose mute changed, follow; nothing else is touched: not the controller
  // fields, not the filter faders, not a fader the user holds.
  void FollowMixerChanges(const CMixerMirror::Slots& changed);
  // Whether a view shows this page (the headless bridge has none).
  bool HasView() const { return m_view != nullptr; }

  // The user moved a fader to value (0..127): sets the mixer (or sends the
  // filter sequence), shows the value and, for a mapped strip, sends the
  // Control Change on the output channel.
  void MoveFader(std::size_t strip, int value);

  // An incoming controller matched this strip while the page is on screen:
  // shows the value and moves the fader; nothing is sent.
  void ShowIncoming(std::size_t strip, int value);

  // Commits the CC fields' texts (indexed by strip) in the page's exchange
  // order, stopping at the first text that is not an integer in -1..127.
  // Fields before it keep their new numbers.
  CommitResult Commit(std::span<const std::string> fieldTexts);

  // How the strip's controller number is read. Setting a mode applies to
  // every strip on that number and is saved in the profile; false, with
  // nothing changed, when the strip has no controller 0..127 or the number
  // cannot carry the mode.
  ControllerMode ControllerModeOf(std::size_t strip) const;
  bool SetControllerMode(std::size_t strip, ControllerMode mode);

  // The mute of the strip's channel (kMutes), for volume strips; and
  // whether the mixer held it muted at the last refresh or change.
  std::optional<std::size_t> MuteOfStrip(std::size_t strip) const;
  bool IsMuted(std::size_t strip) const { return m_strips[strip].muted; }

  // An effect chooser of the page picked an effect for an aux bus.
  void ChooseEffect(int32_t aux, int32_t effect);

  // Whether a controller number can be sent or matched: 0..127.
  static bool IsMapped(int32_t controller) { return CParameterTable::IsMapped(controller); }

private:
  std::size_t RowOf(std::size_t strip) const { return m_def.strips[strip].row; }
  // Sets the fader value and shows it in the read-out.
  void SetFader(std::size_t strip, int value);
  // Reads a strip's value into its fader; false when the mixer has none.
  bool ReadFader(IMixerServer& mixer, std::size_t strip);
  // Rebuilds an aux label from the mixer; `bus` is the refresh's one bus
  // cell for send labels.
  void ReadLabel(IMixerServer& mixer, std::size_t strip, int32_t& bus);
  void ShowMembers();

  const PageDef& m_def;
  BridgeContext& m_context;
  // What a strip shows beside the table's fader value.
  struct Strip {
    std::string readout;
    std::string label;
    bool muted = false;
  };
  // Reads a volume strip's mute from the mixer.
  void ReadMuted(IMixerServer& mixer, std::size_t strip);
  std::vector<Strip> m_strips;
  IPageView* m_view = nullptr;
};

} // namespace vantrel
