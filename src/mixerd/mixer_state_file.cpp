#include "mixer_state_file.h"

#include "files/file_io.h"
#include "files/xdg_folders.h"
#include "text/integer_text.h"

#include <cstdio>
#include <sstream>

namespace vantrel::mixerd {

using namespace mixer_dbus;

namespace {

constexpr char kMagic[] = "vantrel-mixer-state";
constexpr int kVersion = 1;
// The state is the server's own: only its user reads it.
constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kPrivateFileMode = 0600;

// Reads whitespace-separated words of one line in order, with expected
// keywords between the numbers.
class LineReader {
public:
  explicit LineReader(const std::string& line) : m_in(line) {}

  bool Word(std::string& word) { return static_cast<bool>(m_in >> word); }

  bool Keyword(const char* expected) {
    std::string word;
    return Word(word) && word == expected;
  }

  bool Number(int32_t& value) {
    std::string token;
    if (!(m_in >> token)) {
      return false;
    }
    const std::optional<int32_t> parsed = ParseInt32(token);
    value = parsed.value_or(value);
    return parsed.has_value();
  }

  bool Flag(bool& value) {
    int32_t number = 0;
    if (!Number(number) || (number != 0 && number != 1)) {
      return false;
    }
    value = number == 1;
    return true;
  }

  bool AtEnd() {
    std::string token;
    return !(m_in >> token);
  }

private:
  std::istringstream m_in;
};

bool ParseMaster(LineReader& r, MixerState& state, std::array<bool, kChannelCount>& seen) {
  int32_t channel = 0;
  int32_t gain = 0;
  if (!r.Number(channel) || !IsValidChannel(channel) || !r.Number(gain)) {
    return false;
  }
  state.master[static_cast<std::size_t>(channel)] = gain;
  seen[static_cast<std::size_t>(channel)] = true;
  return true;
}

bool ParseSource(LineReader& r, MixerState& state, std::array<bool, kSourceCount>& seen) {
  int32_t type = 0;
  int32_t index = 0;
  if (!r.Number(type) || !r.Number(index) || !IsValidSource(type, index)) {
    return false;
  }
  const auto slot = static_cast<std::size_t>(SourceSlot(type, index));
  SourceState& source = state.sources[slot];
  if (!r.Keyword("volume") || !r.Number(source.volume) || !r.Keyword("pan") ||
      !r.Number(source.pan)) {
    return false;
  }
  for (SendState& send : source.sends) {
    if (!r.Keyword("send") || !r.Number(send.bus) || !r.Number(send.level)) {
      return false;
    }
  }
  seen[slot] = true;
  return true;
}

bool ParseBus(LineReader& r, MixerState& state, std::array<bool, kBusCount>& seen) {
  int32_t number = 0;
  if (!r.Number(number) || !IsValidBus(number)) {
    return false;
  }
  BusState& bus = state.buses[static_cast<std::size_t>(number)];
  if (!r.Keyword("level") || !r.Number(bus.level) || !r.Keyword("routed") || !r.Flag(bus.routed) ||
      !r.Keyword("effect") || !r.Number(bus.effect) || !r.Keyword("on-output") ||
      !r.Flag(bus.onOutput) || !r.Keyword("digital") || !r.Flag(bus.digital) ||
      !r.Keyword("pair") || !r.Number(bus.pair)) {
    return false;
  }
  seen[static_cast<std::size_t>(number)] = true;
  return true;
}

// "mutes master M record R buses B1..B4 sources S1..S13", every flag 0 or 1.
// Files written before mutes existed have no such line: nothing is muted.
bool ParseMutes(LineReader& r, MixerState& state) {
  if (!r.Keyword("master") || !r.Flag(state.masterMuted) || !r.Keyword("record") ||
      !r.Flag(state.recordMuted) || !r.Keyword("buses")) {
    return false;
  }
  for (BusState& bus : state.buses) {
    if (!r.Flag(bus.muted)) {
      return false;
    }
  }
  if (!r.Keyword("sources")) {
    return false;
  }
  for (SourceState& source : state.sources) {
    if (!r.Flag(source.muted)) {
      return false;
    }
  }
  return true;
}

template <std::size_t N> bool AllSeen(const std::array<bool, N>& seen) {
  for (bool s : seen) {
    if (!s) {
      return false;
    }
  }
  return true;
}

} // namespace

std::string DefaultStatePath() {
  const std::filesystem::path folder = VantrelFolder(XdgBase::State).value_or(".");
  return (folder / "mixer.state").string();
}

std::string FormatState(const MixerState& state) {
  std::ostringstream out;
  out << kMagic << ' ' << kVersion << '\n';
  out << "# Written by vantrel-mixerd; read at its start.\n";
  for (std::size_t channel = 0; channel < state.master.size(); ++channel) {
    out << "master " << channel << ' ' << state.master[channel] << '\n';
  }
  for (int32_t type = 0; type < kSourceTypeCount; ++type) {
    for (int32_t index = 0; index < kSourcesPerType[static_cast<std::size_t>(type)]; ++index) {
      const SourceState& s = state.sources[static_cast<std::size_t>(SourceSlot(type, index))];
      out << "source " << type << ' ' << index << " volume " << s.volume << " pan " << s.pan;
      for (const SendState& send : s.sends) {
        out << " send " << send.bus << ' ' << send.level;
      }
      out << '\n';
    }
  }
  for (std::size_t number = 0; number < state.buses.size(); ++number) {
    const BusState& b = state.buses[number];
    out << "bus " << number << " level " << b.level << " routed " << (b.routed ? 1 : 0)
        << " effect " << b.effect << " on-output " << (b.onOutput ? 1 : 0) << " digital "
        << (b.digital ? 1 : 0) << " pair " << b.pair << '\n';
  }
  out << "record " << state.record << '\n';
  out << "mutes master " << (state.masterMuted ? 1 : 0) << " record " << (state.recordMuted ? 1 : 0)
      << " buses";
  for (const BusState& b : state.buses) {
    out << ' ' << (b.muted ? 1 : 0);
  }
  out << " sources";
  for (const SourceState& source : state.sources) {
    out << ' ' << (source.muted ? 1 : 0);
  }
  out << '\n';
  for (std::size_t number = 0; number < state.apps.size(); ++number) {
    out << "app " << number + 1 << ' ' << state.apps[number] << '\n';
  }
  // The last line proves the file is whole.
  out << "end\n";
  return out.str();
}

bool ParseState(const std::string& text, MixerState& state, std::string& message) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line)) {
    message = "the file is empty";
    return false;
  }
  if (line != std::string(kMagic) + ' ' + std::to_string(kVersion)) {
    message =
        "the first line is not \"" + std::string(kMagic) + ' ' + std::to_string(kVersion) + "\"";
    return false;
  }
  MixerState parsed = DefaultMixerState();
  std::array<bool, kChannelCount> masterSeen{};
  std::array<bool, kSourceCount> sourceSeen{};
  std::array<bool, kBusCount> busSeen{};
  bool recordSeen = false;
  bool endSeen = false;
  int lineNumber = 1;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (line.empty() || line[0] == '#') {
      continue;
    }
    if (endSeen) {
      message = "line " + std::to_string(lineNumber) + " follows the end line";
      return false;
    }
    LineReader r(line);
    std::string key;
    r.Word(key);
    bool ok = false;
    if (key == "master") {
      ok = ParseMaster(r, parsed, masterSeen);
    } else if (key == "source") {
      ok = ParseSource(r, parsed, sourceSeen);
    } else if (key == "bus") {
      ok = ParseBus(r, parsed, busSeen);
    } else if (key == "record") {
      ok = r.Number(parsed.record);
      recordSeen = true;
    } else if (key == "mutes") {
      ok = ParseMutes(r, parsed);
    } else if (key == "app") {
      // "app N NAME", in order from 1; the name is the rest of the line.
      int32_t number = 0;
      const std::size_t name = line.find(' ', 4);
      ok = r.Number(number) && static_cast<std::size_t>(number) == parsed.apps.size() + 1 &&
           name != std::string::npos;
      if (ok) {
        parsed.apps.push_back(line.substr(name + 1));
        continue;
      }
    } else if (key == "end") {
      ok = true;
      endSeen = true;
    }
    if (!ok || !r.AtEnd()) {
      message = "line " + std::to_string(lineNumber) + " cannot be read: \"" + line + "\"";
      return false;
    }
  }
  if (!endSeen) {
    message = "the file is cut short (no end line)";
    return false;
  }
  if (!AllSeen(masterSeen) || !AllSeen(sourceSeen) || !AllSeen(busSeen) || !recordSeen) {
    message = "some values are missing";
    return false;
  }
  if (!IsValidMixerState(parsed)) {
    message = "a value is out of range";
    return false;
  }
  state = parsed;
  return true;
}

LoadResult LoadStateFile(const std::string& path, MixerState& state, std::string& message) {
  state = DefaultMixerState();
  const FileReadResult file = ReadWholeFile(path, kMaxStateFileBytes);
  if (file.status == FileReadResult::Status::Missing ||
      file.status == FileReadResult::Status::Failed) {
    const std::string why =
        file.status == FileReadResult::Status::Missing ? std::string("no such file") : file.error;
    message = "no saved mixer state at " + path + " (" + why + "); starting from the defaults.";
    return LoadResult::Missing;
  }
  std::string reason = file.error;
  if (file.status == FileReadResult::Status::Unsuitable || !ParseState(file.text, state, reason)) {
    state = DefaultMixerState();
    // Keep the unreadable file for the user to inspect; the next save would
    // otherwise replace it.
    const std::string aside = path + ".unreadable";
    const bool kept = ::rename(path.c_str(), aside.c_str()) == 0;
    message = "the saved mixer state " + path + " is unreadable (" + reason +
              "); starting from the defaults" + (kept ? "; the file was moved to " + aside : "") +
              ".";
    return LoadResult::Invalid;
  }
  return LoadResult::Loaded;
}

bool SaveStateFile(const std::string& path, const MixerState& state, std::string& message) {
  const std::optional<std::filesystem::path> target = WriteTarget(path);
  if (!target) {
    message = "cannot save the mixer state in " + path + ": its symbolic links form a loop";
    return false;
  }
  std::optional<std::string> failure = CreateParentFolders(*target, kPrivateFolderMode);
  if (!failure) {
    failure =
        ReplaceFileAtomically(*target, FormatState(state), FileReadResult{}, kPrivateFileMode);
  }
  if (failure) {
    message = "cannot save the mixer state in " + path + ": " + *failure;
    return false;
  }
  return true;
}

} // namespace vantrel::mixerd
