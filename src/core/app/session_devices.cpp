#include "app/session_devices.h"

#include "midi/device_watch.h"
#include "midi/midi_backend.h"
#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"

namespace vantrel {

namespace {
std::string DescribeDevice(const char* kind, int32_t index, const std::vector<std::string>& names,
                           bool failed, bool awaited, const std::string& name,
                           const std::string& reason) {
  const std::string head = std::string("MIDI ") + kind + ": ";
  if (index == -1) {
    return head + "none";
  }
  if (failed) {
    return head + "cannot open device " + std::to_string(index) +
           // A device waited for is missing: that says why already.
           // Without a MIDI system the lists stay empty: nothing can appear.
           (awaited && (CurrentMidiApiAvailable() || !names.empty())
                ? "; \"" + name + "\" is opened when it appears"
            : reason.empty() ? std::string()
                             : ". " + reason);
  }
  const auto position = static_cast<std::size_t>(index);
  return head + "opened device " + std::to_string(index) + " (" +
         (position < names.size() ? names[position] : std::string("?")) + ")";
}
} // namespace

CSessionDevices::CSessionDevices(CBridgeMidiIn& input, CMidiOutPort& output,
                                 CControllerQueue& queue, AppState& state,
                                 std::function<void()> outputOpened)
    : m_input(input), m_output(output), m_queue(queue), m_state(state),
      m_outputOpened(std::move(outputOpened)), m_follower(input, output, state) {}

void CSessionDevices::LoadSavedNames(std::string inputName, std::string outputName) {
  m_follower.LoadSavedNames(std::move(inputName), std::move(outputName));
}

int32_t& CSessionDevices::Index(MidiDirection direction) {
  return direction == MidiDirection::Input ? m_state.inputDevice : m_state.outputDevice;
}

SavedDevicesResult CSessionDevices::OpenSaved() {
  SavedDevicesResult result;
  if (m_state.outputDevice != -1) {
    result.outputFailed =
        !m_follower.OpenDevice(MidiDirection::Output, m_state.outputDevice).empty();
  }
  m_input.SetThruPort(&m_output);
  m_input.SetControllerQueue(&m_queue);
  if (m_state.inputDevice != -1) {
    result.inputFailed = !m_follower.OpenDevice(MidiDirection::Input, m_state.inputDevice).empty();
  }
  m_follower.NoteChosen(MidiDirection::Output);
  m_follower.NoteChosen(MidiDirection::Input);
  return result;
}

std::vector<std::string> CSessionDevices::DescribeSaved(const SavedDevicesResult& result) const {
  std::vector<std::string> lines;
  for (const MidiDirection direction : {MidiDirection::Output, MidiDirection::Input}) {
    const bool output = direction == MidiDirection::Output;
    lines.push_back(DescribeDevice(output ? "output" : "input",
                                   output ? m_state.outputDevice : m_state.inputDevice,
                                   output ? m_output.DeviceNames() : m_input.DeviceNames(),
                                   output ? result.outputFailed : result.inputFailed,
                                   IsAwaited(direction), Name(direction), Error(direction)));
  }
  return lines;
}

DeviceChange CSessionDevices::Choose(MidiDirection direction, int item) {
  const int32_t index = item - 1;
  int32_t& chosen = Index(direction);
  // While the chosen device is gone, its index may name another device.
  if (index == chosen && !IsAwaited(direction)) {
    return DeviceChange::Unchanged;
  }
  m_follower.CloseDevice(direction);
  chosen = index;
  DeviceChange change = DeviceChange::Closed;
  if (index != -1) {
    change = m_follower.OpenDevice(direction, index).empty() ? DeviceChange::Opened
                                                             : DeviceChange::OpenFailed;
  }
  if (change == DeviceChange::Opened && direction == MidiDirection::Output) {
    m_outputOpened();
  }
  m_follower.NoteChosen(direction);
  return change;
}

std::string CSessionDevices::Error(MidiDirection direction) const {
  return direction == MidiDirection::Input ? m_input.LastError() : m_output.LastError();
}

std::optional<std::string> CSessionDevices::NameToSave(MidiDirection direction) const {
  const std::string& name = m_follower.Name(direction);
  if (name.empty() && m_follower.SavedName(direction).empty()) {
    return std::nullopt;
  }
  return name;
}

void CSessionDevices::SetWatch(IDeviceWatch* watch) {
  m_watch = watch;
  m_follower.SetWatch(watch);
}

int CSessionDevices::WatchFd() const {
  return m_watch != nullptr ? m_watch->Fd() : -1;
}

DeviceFollowResult CSessionDevices::OnWatch() {
  if (m_watch == nullptr || !m_watch->Acknowledge()) {
    return {};
  }
  return Follow();
}

DeviceFollowResult CSessionDevices::Follow() {
  if (m_closed) {
    return {};
  }
  // An output that came back is opened again: it gets everything again.
  const bool outputWasOpen = m_output.IsOpen();
  DeviceFollowResult result = m_follower.Follow();
  if (!outputWasOpen && m_output.IsOpen()) {
    m_outputOpened();
  }
  return result;
}

void CSessionDevices::Close() {
  m_closed = true;
  m_follower.CloseDevice(MidiDirection::Input);
  m_follower.CloseDevice(MidiDirection::Output);
}

} // namespace vantrel
