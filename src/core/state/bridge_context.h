#pragma once
// What pages and the controller dispatcher reach at run time: the
// application state, the parameter table, the controller modes, the mixer
// (null while no server is present or after it was released), the MIDI
// output and the settings store. Dialog thread only.

#include "state/app_state.h"
#include "state/controller_modes.h"
#include "state/parameter_table.h"

namespace vantrel {

class IMixerServer;
class IShortMessageSink;
class CSettings;

struct BridgeContext {
  AppState state;
  CParameterTable table;
  CControllerModes modes;
  IMixerServer* mixer = nullptr;
  IShortMessageSink* midiOut = nullptr;
  CSettings* settings = nullptr; // null: nothing is loaded or saved
};

} // namespace vantrel
