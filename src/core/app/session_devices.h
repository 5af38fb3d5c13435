#pragma once
// The session's MIDI input and output: opening the saved devices at
// start-up, the device choosers, and following devices that come and go
// (through CDeviceFollower and the device watch). It owns the choice of
// devices, not the ports. Dialog thread only.

#include "app/device_follower.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

class CBridgeMidiIn;
class CControllerQueue;
class CMidiOutPort;
class IDeviceWatch;

// What a device chooser's change did.
enum class DeviceChange {
  Unchanged,  // the item was already current: nothing was touched
  Closed,     // "None": the device is stopped and closed
  Opened,     // the new device is open (input: and started)
  OpenFailed, // the open failed; the index stays chosen
};

struct SavedDevicesResult {
  bool outputFailed = false;
  bool inputFailed = false;
};

class CSessionDevices {
public:
  // outputOpened runs whenever the output opens after start-up: chosen, or
  // back after it was gone.
  CSessionDevices(CBridgeMidiIn& input, CMidiOutPort& output, CControllerQueue& queue,
                  AppState& state, std::function<void()> outputOpened);

  // The saved names, before anything is opened (see CDeviceFollower).
  void LoadSavedNames(std::string inputName, std::string outputName);
  // Opens the saved output, hands the output and the controller queue to the
  // input, then opens and starts the saved input.
  SavedDevicesResult OpenSaved();
  // One line per saved device, saying whether it opened, e.g.
  // "MIDI input: opened device 1 (name)", or why not; the same wording in
  // every mode.
  std::vector<std::string> DescribeSaved(const SavedDevicesResult& result) const;

  // A device chooser as it should look now: "None", then the devices (item
  // i + 1 is device i), with the chosen device selected (by name) and an
  // item for it while it is gone.
  DeviceChooser Chooser(MidiDirection direction) const { return m_follower.Chooser(direction); }
  // The user chose item (0: "None") in a chooser.
  DeviceChange Choose(MidiDirection direction, int item);
  // Why the last open of the input or output failed, in a sentence.
  std::string Error(MidiDirection direction) const;
  // The chosen device's name, and whether it is gone and waited for.
  const std::string& Name(MidiDirection direction) const { return m_follower.Name(direction); }
  bool IsAwaited(MidiDirection direction) const { return m_follower.IsAwaited(direction); }
  // The name to save: none when the profile never had one and no device
  // was chosen, so a profile gets the extra line only once it means
  // something.
  std::optional<std::string> NameToSave(MidiDirection direction) const;

  // The watch that reports changes of the device lists (null: none; then
  // the lists are compared only when Follow is called).
  void SetWatch(IDeviceWatch* watch);
  // Readable when the device lists may have changed, or -1 without a watch.
  int WatchFd() const;
  // The watch's descriptor became readable: follows the devices if the
  // lists may have changed.
  DeviceFollowResult OnWatch();
  // Closes a chosen device that vanished and reopens one that came back.
  DeviceFollowResult Follow();

  // Stops and closes both devices; nothing is followed afterwards.
  void Close();

private:
  int32_t& Index(MidiDirection direction);

  CBridgeMidiIn& m_input;
  CMidiOutPort& m_output;
  CControllerQueue& m_queue;
  AppState& m_state;
  std::function<void()> m_outputOpened;
  CDeviceFollower m_follower;
  IDeviceWatch* m_watch = nullptr;
  bool m_closed = false;
};

} // namespace vantrel
