#pragma once
// Names for the control ids that code refers to one by one: the main
// window's controls, the about box's button and the effect choosers of the
// User 5 & NRPN page. The mixer strips' ids are data in the page table and
// the templates; the page templates' numbers are named in the page table.

namespace vantrel::ui {

// Main window.
inline constexpr int kPageFrameId = 1000; // where the visible page stands
inline constexpr int kPageChooserId = 1001;
inline constexpr int kMidiInChooserId = 1002;
inline constexpr int kMidiOutChooserId = 1003;
inline constexpr int kChannelFieldId = 1158; // output channel 1..16
inline constexpr int kChannelSpinId = 1159;
// The labels above the device choosers, which have no id; the activity
// light stands just after the MIDI In label's text.
inline constexpr const char* kMidiInLabel = "MIDI In";
inline constexpr const char* kMidiOutLabel = "MIDI Out";

// About box.
inline constexpr int kAboutOkId = 1;

// User 5 & NRPN page: the effect chooser of each aux bus, Aux 1 to Aux 4.
inline constexpr int kAux1EffectId = 1171;
inline constexpr int kAux2EffectId = 1173;
inline constexpr int kAux3EffectId = 1174;
inline constexpr int kAux4EffectId = 1175;

} // namespace vantrel::ui
