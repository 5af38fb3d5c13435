// A JACK server that stops answering (stopped here with SIGSTOP, as a
// synchronous server wedges after a peer dies) while the program has a port
// open: a stop signal still ends the program, headless or with its window,
// and the window still saves its profile.

#include "posix/stop_signals.h"
#include "support/bridge_process.h"
#include "support/mixerd_fixture.h"
#include "support/sound_server.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

// A JACK server of the test's own, with jack_midi_dump's input port as the
// only MIDI output device.
class OwnJackServer {
public:
  // A name of its own each time: a server that was stopped may leave its
  // name registered for a while.
  explicit OwnJackServer(int number)
      : m_name("vt-wedge-" + std::to_string(::getpid()) + "-" + std::to_string(number)) {
    m_server = StartServer();
    m_ready = m_server > 0 &&
              RunCommand({"/usr/bin/jack_wait", "-s", m_name, "-w", "-t", "20"}, 30s).exitCode == 0;
    m_monitor =
        StartProgram({"/usr/bin/env", "JACK_DEFAULT_SERVER=" + m_name, "/usr/bin/jack_midi_dump"});
    m_ready =
        m_ready && m_monitor > 0 && Eventually([&] {
          return RunCommand({"/usr/bin/jack_lsp", "-s", m_name}).out.find("midi-monitor:input") !=
                 std::string::npos;
        });
  }
  ~OwnJackServer() {
    Resume();
    EndProgram(m_monitor);
    EndProgram(m_server);
    // A server that outlived a client it was waiting for dies of SIGPIPE
    // and leaves its name in JACK's registry of servers, which holds eight
    // for the whole machine. A server started under the same name takes the
    // entry over and gives it back when it stops in order.
    m_server = StartServer();
    RunCommand({"/usr/bin/jack_wait", "-s", m_name, "-w", "-t", "20"}, 30s);
    EndProgram(m_server);
  }
  OwnJackServer(const OwnJackServer&) = delete;
  OwnJackServer& operator=(const OwnJackServer&) = delete;

  bool Ready() const { return m_ready; }
  const std::string& Name() const { return m_name; }
  void Wedge() { ::kill(m_server, SIGSTOP); }
  void Resume() { ::kill(m_server, SIGCONT); }

private:
  pid_t StartServer() const {
    return StartProgram({"/usr/bin/env", "JACK_NO_AUDIO_RESERVATION=1", "jackd", "--no-realtime",
                         "-S", "-n", m_name, "-d", "dummy", "-r", "48000", "-p", "128"});
  }

  std::string m_name;
  pid_t m_server = 0;
  pid_t m_monitor = 0;
  bool m_ready = false;
};

// With a mixer server of the test's own, so the program starts none.
using WedgedJackServer = MixerdFixture;

TEST_F(WedgedJackServer, AStopSignalEndsTheProgramAtOnceAndTheWindowSavesItsProfile) {
  for (const bool windowed : {false, true}) {
    SCOPED_TRACE(windowed ? "window" : "headless");
    OwnJackServer jack(windowed ? 1 : 0);
    ASSERT_TRUE(jack.Ready());
    const std::string folder = m_dir.File(windowed ? "window" : "headless");
    std::filesystem::create_directory(folder);
    const std::string profile = folder + "/vantrel.INI";
    std::ofstream(profile, std::ios::trunc) << "[Midi Options]\nDefaultMidiOut=0\n";
    std::vector<std::string> args = {"--profile", profile, "--midi-api", "jack",
                                     "--no-mixer-warning"};
    if (!windowed) {
      args.emplace_back("--headless");
    }
    BridgeProcess program(args, folder,
                          {{"QT_QPA_PLATFORM", "offscreen"}, {"JACK_DEFAULT_SERVER", jack.Name()}});
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitForOutput("MIDI output: opened device 0 (midi-monitor:input)"))
        << program.Output() << program.Errors();
    jack.Wedge();
    const auto start = std::chrono::steady_clock::now();
    const int code = program.Stop(SIGTERM, 10s);
    const auto took = std::chrono::steady_clock::now() - start;
    // Closing the ports waits on the server, so the deadline ends the stop.
    EXPECT_EQ(code, kExitStopOverdue) << program.Errors();
    EXPECT_LT(took, 5s);
    EXPECT_NE(program.Errors().find("stopping took longer than"), std::string::npos)
        << program.Errors();
    if (windowed) {
      EXPECT_NE(ReadTextFile(profile).find("ActivePage="), std::string::npos)
          << ReadTextFile(profile);
    }
  }
}

} // namespace
} // namespace vantrel::test
