#pragma once
// Keeps the chosen MIDI input and output on the same devices while devices
// come and go. Each direction remembers the chosen device's name as well as
// its index: at start-up a saved name wins over the saved index when a
// device of that name is listed; a chosen device that vanishes is stopped
// and closed, said once, and opened again (input: and started) as soon as
// it is listed again, wherever it is in the list. The index in the
// application state follows the device. Dialog thread only.

#include "state/app_state.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class CBridgeMidiIn;
class CMidiOutPort;
class IDeviceWatch;

enum class MidiDirection { Input, Output };

inline constexpr std::string_view kNoDeviceItem = "None";

// The chooser item to select for a device index among choiceCount items
// ("None" included): index + 1, or -1 when the index lies beyond the list.
constexpr int DeviceItem(int32_t index, std::size_t choiceCount) {
  return index >= -1 && index + 1 < static_cast<int64_t>(choiceCount) ? index + 1 : -1;
}

// One device chooser: its items and the item to select.
struct DeviceChooser {
  // "None", the listed devices, and while the chosen device is gone one
  // more item standing for it.
  std::vector<std::string> items;
  int selected = -1; // -1: no selection
  int goneItem = -1; // the item standing for a gone device, or -1
};

// What one look at the device lists did.
struct DeviceFollowResult {
  std::vector<std::string> lines; // one per device gone or back, for standard output
  bool changed = false;           // a device went, came back or moved in its list
};

inline constexpr std::string_view kGoneSuffix = " (gone)";

class CDeviceFollower {
public:
  CDeviceFollower(CBridgeMidiIn& input, CMidiOutPort& output, AppState& state);

  // Start-up, before anything is opened: the saved names (empty: none). A
  // name that a listed device carries replaces the state's index with that
  // device's; otherwise the index stays as saved.
  void LoadSavedNames(std::string inputName, std::string outputName);
  // After a device was chosen or opened at the state's index: remembers
  // that device's name. A chosen device that is not listed (but whose name
  // is known) is waited for; "None" forgets the name.
  void NoteChosen(MidiDirection direction);

  // Compares the chosen devices with the lists now: closes what vanished
  // and reopens what came back.
  DeviceFollowResult Follow();

  DeviceChooser Chooser(MidiDirection direction) const;
  // The chosen device's name, empty when none is known.
  const std::string& Name(MidiDirection direction) const { return Side(direction).name; }
  // The name the profile held at start-up.
  const std::string& SavedName(MidiDirection direction) const { return Side(direction).savedName; }
  // True while the chosen device is gone and waited for.
  bool IsAwaited(MidiDirection direction) const { return Side(direction).awaited; }

  // The watch that reports list changes (may be null); told when a device
  // is waited for.
  void SetWatch(IDeviceWatch* watch) { m_watch = watch; }

  // Opens (input: and starts) the device at index; empty on success, else
  // why. A started input that fails to start is closed again.
  std::string OpenDevice(MidiDirection direction, int32_t index);
  // Stops (input) and closes the device of one direction.
  void CloseDevice(MidiDirection direction);

private:
  struct SideState {
    std::string name;
    std::string savedName;
    bool awaited = false;
    bool reopenFailureShown = false;
  };

  SideState& Side(MidiDirection direction) {
    return direction == MidiDirection::Input ? m_in : m_out;
  }
  const SideState& Side(MidiDirection direction) const {
    return direction == MidiDirection::Input ? m_in : m_out;
  }
  int32_t& Index(MidiDirection direction) {
    return direction == MidiDirection::Input ? m_state.inputDevice : m_state.outputDevice;
  }
  int32_t Index(MidiDirection direction) const {
    return direction == MidiDirection::Input ? m_state.inputDevice : m_state.outputDevice;
  }
  std::vector<std::string> Names(MidiDirection direction) const;
  void Await(SideState& side);
  void FollowSide(MidiDirection direction, DeviceFollowResult& result);

  CBridgeMidiIn& m_input;
  CMidiOutPort& m_output;
  AppState& m_state;
  SideState m_in;
  SideState m_out;
  IDeviceWatch* m_watch = nullptr;
};

} // namespace vantrel
