#include "app/device_follower.h"

#include "midi/device_names.h"
#include "midi/device_watch.h"
#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"

namespace vantrel {

namespace {
std::string Head(MidiDirection direction) {
  return direction == MidiDirection::Input ? "MIDI input: " : "MIDI output: ";
}
} // namespace

CDeviceFollower::CDeviceFollower(CBridgeMidiIn& input, CMidiOutPort& output, AppState& state)
    : m_input(input), m_output(output), m_state(state) {}

void CDeviceFollower::LoadSavedNames(std::string inputName, std::string outputName) {
  m_in = SideState{};
  m_out = SideState{};
  m_in.name = m_in.savedName = std::move(inputName);
  m_out.name = m_out.savedName = std::move(outputName);
  for (const MidiDirection direction : {MidiDirection::Input, MidiDirection::Output}) {
    // Profiles without names ask the system for nothing here.
    if (Side(direction).name.empty()) {
      continue;
    }
    if (const auto found = FindDeviceByName(Names(direction), Side(direction).name)) {
      Index(direction) = *found;
    }
  }
}

void CDeviceFollower::NoteChosen(MidiDirection direction) {
  SideState& side = Side(direction);
  side.awaited = false;
  side.reopenFailureShown = false;
  const int32_t index = Index(direction);
  if (index == -1) {
    side.name.clear();
    return;
  }
  std::string listed = NameAtIndex(Names(direction), index);
  if (!listed.empty()) {
    side.name = std::move(listed);
  } else if (!side.name.empty()) {
    Await(side);
  }
}

DeviceFollowResult CDeviceFollower::Follow() {
  DeviceFollowResult result;
  FollowSide(MidiDirection::Input, result);
  FollowSide(MidiDirection::Output, result);
  return result;
}

void CDeviceFollower::FollowSide(MidiDirection direction, DeviceFollowResult& result) {
  SideState& side = Side(direction);
  int32_t& index = Index(direction);
  if (index == -1 || side.name.empty()) {
    return;
  }
  const auto found = FindDeviceByName(Names(direction), side.name);
  if (!found) {
    if (!side.awaited) {
      CloseDevice(direction);
      Await(side);
      result.lines.push_back(Head(direction) + "device \"" + side.name +
                             "\" is gone; it is opened again when it comes back");
      result.changed = true;
    }
    return;
  }
  if (!side.awaited) {
    // Still there, perhaps at another place in the list.
    if (*found != index) {
      index = *found;
      result.changed = true;
    }
    return;
  }
  if (*found != index) {
    index = *found;
    result.changed = true;
  }
  const std::string failure = OpenDevice(direction, index);
  if (failure.empty()) {
    side.awaited = false;
    side.reopenFailureShown = false;
    result.lines.push_back(Head(direction) + "reopened device " + std::to_string(index) + " (" +
                           side.name + ")");
    result.changed = true;
  } else if (!side.reopenFailureShown) {
    // Still waited for: the next change of the lists tries again.
    side.reopenFailureShown = true;
    result.lines.push_back(Head(direction) + "device \"" + side.name +
                           "\" is back but cannot be opened: " + failure);
  }
}

DeviceChooser CDeviceFollower::Chooser(MidiDirection direction) const {
  const SideState& side = Side(direction);
  const int32_t index = Index(direction);
  DeviceChooser chooser;
  chooser.items.emplace_back(kNoDeviceItem);
  for (std::string& name : Names(direction)) {
    chooser.items.push_back(std::move(name));
  }
  if (side.awaited && index != -1) {
    chooser.items.push_back(side.name + std::string(kGoneSuffix));
    chooser.goneItem = static_cast<int>(chooser.items.size()) - 1;
    chooser.selected = chooser.goneItem;
  } else {
    chooser.selected = DeviceItem(index, chooser.items.size());
  }
  return chooser;
}

std::vector<std::string> CDeviceFollower::Names(MidiDirection direction) const {
  return direction == MidiDirection::Input ? m_input.DeviceNames() : m_output.DeviceNames();
}

std::string CDeviceFollower::OpenDevice(MidiDirection direction, int32_t index) {
  if (direction == MidiDirection::Output) {
    return m_output.Open(static_cast<uint32_t>(index)) == kMidiOk ? std::string()
                                                                  : m_output.LastError();
  }
  if (m_input.Open(index) != kMidiOk || m_input.Start() != kMidiOk) {
    std::string why = m_input.LastError();
    m_input.Close();
    return why;
  }
  return {};
}

void CDeviceFollower::CloseDevice(MidiDirection direction) {
  if (direction == MidiDirection::Output) {
    m_output.Close();
    return;
  }
  m_input.Stop();
  m_input.Close();
}

void CDeviceFollower::Await(SideState& side) {
  side.awaited = true;
  if (m_watch != nullptr) {
    m_watch->Follow();
  }
}

} // namespace vantrel
