#pragma once
// What pages and the controller dispatcher reach at run time: the
// application state, the mixer (null while no server is present or after it
// was released), the MIDI output, the settings store and what the program
// knows of the mixer's values for feedback and soft takeover. Dialog thread
// only.

#include "state/app_state.h"

namespace vantrel {

class IMixerServer;
class IShortMessageSink;
class CSettings;
class IValueFollower;

struct BridgeContext {
  AppState state;
  IMixerServer* mixer = nullptr;
  IShortMessageSink* midiOut = nullptr;
  CSettings* settings = nullptr;    // null: nothing is loaded or saved
  IValueFollower* mirror = nullptr; // null: no feedback, no soft takeover
};

} // namespace vantrel
