// The real program and a stop signal while a start-up box waits for a
// click: the box closes and the program ends in order.

#include "support/bridge_process.h"
#include "support/mixerd_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vantrel::test {
namespace {

using ProgramStopTest = MixerdFixture;

TEST_F(ProgramStopTest, AStopSignalClosesAnOpenStartUpBoxAndSavesTheProfile) {
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    const std::string folder = m_dir.File("") + std::to_string(signal);
    std::filesystem::create_directory(folder);
    const std::string profile = folder + "/vantrel.INI";
    // No such input device: the window says so in a box at start-up.
    std::ofstream(profile, std::ios::trunc) << "[Midi Options]\nDefaultMidiIn=7\n";
    BridgeProcess program({"--profile", profile, "--midi-api", "jack", "--no-mixer-warning"},
                          folder, {{"QT_QPA_PLATFORM", "offscreen"}});
    ASSERT_TRUE(program.Start());
    // Printed just before the box opens.
    ASSERT_TRUE(program.WaitForOutput("MIDI input:")) << program.Output() << program.Errors();
    EXPECT_EQ(program.Stop(signal), 0) << "signal " << signal << "\n" << program.Errors();
    const std::string saved = ReadTextFile(profile);
    EXPECT_NE(saved.find("ActivePage="), std::string::npos) << saved;
    EXPECT_NE(saved.find("DefaultMidiIn=7"), std::string::npos) << saved;
  }
}

} // namespace
} // namespace vantrel::test
