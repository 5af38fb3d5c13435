#pragma once
// The settings store: one read and one write per profile key, both moving
// text, straight to the profile file. The parsed file is kept between reads
// only while the file on disk stays the same one, unchanged, so a batch of
// reads costs one read of the file and edits by hand are still seen.
// Converting to numbers and choosing defaults is the callers' job, with
// ParseProfileInt and FormatProfileInt. Dialog thread only.

#include "settings/profile_file.h"
#include "text/integer_text.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantrel {

struct SettingKey {
  std::string_view section;
  std::string_view name;
};

inline constexpr std::string_view kProgramOptions = "Program Options";
inline constexpr std::string_view kMidiOptions = "Midi Options";
inline constexpr std::string_view kCcMapping = "CC Mapping";
inline constexpr std::string_view kControllerModes = "Controller Modes";
inline constexpr std::string_view kButtonMapping = "Button Mapping";

inline constexpr SettingKey kActivePageKey{kProgramOptions, "ActivePage"};
inline constexpr SettingKey kDefaultMidiInKey{kMidiOptions, "DefaultMidiIn"};
inline constexpr SettingKey kDefaultMidiOutKey{kMidiOptions, "DefaultMidiOut"};
inline constexpr SettingKey kDefaultMidiOutChannelKey{kMidiOptions, "DefaultMidiOutChannel"};
// Extra keys beside the indices: the chosen devices' names, by which a
// device is found again when its index has changed.
inline constexpr SettingKey kDefaultMidiInNameKey{kMidiOptions, "DefaultMidiInName"};
inline constexpr SettingKey kDefaultMidiOutNameKey{kMidiOptions, "DefaultMidiOutName"};
// Off (0, the default) or on (anything else); written as 0 or 1.
inline constexpr SettingKey kFeedbackKey{kProgramOptions, "Feedback"};
inline constexpr SettingKey kSoftTakeoverKey{kProgramOptions, "SoftTakeover"};
// The protocol the chosen MIDI pair speaks: "none" (the default: plain
// Control Changes) or "mackie" (a Mackie Control surface).
inline constexpr SettingKey kSurfaceProtocolKey{kMidiOptions, "SurfaceProtocol"};
// The window's level meters beside the faders: off (0, the default) or on.
inline constexpr SettingKey kShowMetersKey{kProgramOptions, "ShowMeters"};

// The key of one strip's controller number; names come from the catalogue.
constexpr SettingKey CcMappingKey(std::string_view name) {
  return {kCcMapping, name};
}

// The key of one controller number's mode (0..127): "CC16" in
// "Controller Modes". An extra section: a profile without it reads every
// controller as absolute.
SettingKey ControllerModeKey(uint8_t controller);

// The key of one mute's button ("VolMute"; names come from the mute table).
// An extra section: a profile without it has no buttons.
constexpr SettingKey ButtonMappingKey(std::string_view name) {
  return {kButtonMapping, name};
}

// One key and the text to store under it, for CSettings::WriteMany.
struct SettingWrite {
  SettingKey key;
  std::string text;
};

// Whether a store may change its file. A read-only store (the headless
// bridge's) reads as any other, and every write succeeds without touching
// the file, so its users need no rule of their own.
enum class ProfileAccess { ReadWrite, ReadOnly };

class CSettings {
public:
  explicit CSettings(std::filesystem::path profilePath,
                     ProfileAccess access = ProfileAccess::ReadWrite);

  const std::filesystem::path& Path() const { return m_path; }

  // The key's text, empty when the file, section or key is missing.
  std::string Read(const SettingKey& key) const;
  // Stores text under the key, creating folder, file, section or key as
  // needed, by an atomic replace of the file. On failure the old file stays
  // whole, the reason goes to standard error and false is returned.
  bool Write(const SettingKey& key, std::string_view text);
  // Stores several keys in one atomic replace of the file: all of them or,
  // on failure, none. Every replace waits for the disk (milliseconds), so
  // callers that save a group of keys at once (a page's controller numbers,
  // the options at close) should use this rather than one Write per key.
  bool WriteMany(std::span<const SettingWrite> writes);

  // Read and convert: empty text gives fallback, any other text atoi rules.
  int32_t ReadInt(const SettingKey& key, int32_t fallback) const;
  // Write as "%i".
  bool WriteInt(const SettingKey& key, int32_t value);

private:
  // What tells one state of the file on disk from another.
  struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    bool operator==(const FileIdentity&) const = default;
  };
  struct CachedProfile {
    FileIdentity identity;
    bool settled = false; // old enough that its identity proves it unchanged
    CProfileFile profile;
  };

  // The parsed file as it is on disk now; nothing when it is missing or
  // cannot be read (reported once).
  const CProfileFile* CurrentProfile() const;

  std::filesystem::path m_path;
  ProfileAccess m_access;
  mutable std::optional<CachedProfile> m_cache;
  // An unreadable or oversized profile is reported once, not at every key.
  mutable bool m_readWarningShown = false;
  mutable bool m_sizeWarningShown = false;
};

// Profiles above this size are read, with a warning: a real one is a few
// kilobytes, so this one has grown by accident and slows every start.
inline constexpr std::size_t kLargeProfileBytes = 1024 * 1024;

// $XDG_CONFIG_HOME/vantrel/<base>.INI, default ~/.config/vantrel/<base>.INI.
std::filesystem::path DefaultProfilePath(std::string_view executableBaseName);

} // namespace vantrel
