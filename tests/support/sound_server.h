#pragma once
// The private sound server of the back-end tests (scripts/with-sound-server.sh
// starts it), read and driven with pactl and pacat.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vantrel::test {

// PipeWire keeps volumes as floats; its pulse side may round by a step.
inline constexpr long kVolumeTolerance = 2;

// Runs pactl with the arguments; its standard output (a failure is a test
// failure).
std::string Pactl(std::vector<std::string> args);

// The channel volumes of the first "Volume:" line in pactl's text.
std::vector<long> VolumesIn(const std::string& text);
std::vector<long> SinkVolume(const std::string& sink);
std::vector<long> SourceVolume(const std::string& source);

// pactl's description of the playback stream whose application.name (or,
// for a module's stream, media.name) is `name`, from "Sink Input #N" on;
// empty when there is none.
std::string StreamBlock(const std::string& name);
std::vector<long> StreamVolume(const std::string& name);
// Whether that stream is muted.
bool StreamMuted(const std::string& name);
// Whether the sink is muted.
bool SinkMuted(const std::string& sink);
std::string StreamIndex(const std::string& name);
// The indices of vantrel-mixerd's level meter streams, as pactl lists them.
std::vector<std::string> MeterStreams();
// The indices of the record streams of that media.name.
std::vector<std::string> RecordStreams(const std::string& mediaName);

// Cuts PipeWire's links from ports whose name holds `from` into ports whose
// name starts with `to` ("vantrel-mixerd:"); how many it cut.
int CutPipeWireLinks(const std::string& from, const std::string& to);

// Every volume within kVolumeTolerance of the expected one.
bool Near(const std::vector<long>& volumes, std::vector<long> expected);
std::string Join(const std::vector<long>& values);

// Checks condition every 20 ms until it holds or the timeout passes.
bool Eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Reads volumes (as Eventually) until they are Near `expected`; a failure
// names the volumes read last.
::testing::AssertionResult
VolumesBecome(const std::function<std::vector<long>()>& read, const std::vector<long>& expected,
              std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Writes a stereo 16-bit 440 Hz sine at 48 kHz, `seconds` long, of peak
// `amplitude` (full scale 1), as raw samples for pacat.
void WriteSine(const std::string& path, int seconds, double amplitude);

// Starts a program in the background: its process id, or 0.
pid_t StartProgram(std::vector<std::string> args);
// SIGTERM and wait; pid becomes 0.
void EndProgram(pid_t& pid);

// A playback stream of silence, named for the mapping rules, until destroyed;
// `properties` ("media.name=...") are set on it as well. The name goes on
// the stream, or also on the player's connection as most applications put
// it (PipeWire then remembers the stream's volume under another key and
// restores it later after the stream appears).
enum class PlayerNaming { Stream, Client };
class Player {
public:
  explicit Player(const std::string& applicationName,
                  const std::vector<std::string>& properties = {},
                  PlayerNaming naming = PlayerNaming::Stream);
  ~Player() { EndProgram(m_pid); }
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

private:
  pid_t m_pid = 0;
};

} // namespace vantrel::test
