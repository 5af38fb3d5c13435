#include "app/command_line.h"
#include "app/device_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantrel {
namespace {

CommandLine Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "vantrel");
  return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, UnderstandsEveryOptionInBothSpellings) {
  const CommandLine a = Parse({"--profile", "/tmp/x.INI", "--midi-api", "jack", "--headless"});
  EXPECT_EQ(a.error, "");
  EXPECT_EQ(a.profile, "/tmp/x.INI");
  EXPECT_EQ(a.midiApi, MidiApi::Jack);
  EXPECT_TRUE(a.headless);
  EXPECT_TRUE(a.mixerWarning);
  EXPECT_TRUE(a.startMixer);
  const CommandLine b = Parse({"--profile=p.INI", "--midi-api=alsa", "--help"});
  EXPECT_EQ(b.profile, "p.INI");
  EXPECT_EQ(b.midiApi, MidiApi::Alsa);
  EXPECT_TRUE(b.help);
  EXPECT_FALSE(b.headless);
  EXPECT_FALSE(Parse({"--no-mixer-warning"}).mixerWarning);
  EXPECT_FALSE(Parse({"--no-mixer-start"}).startMixer);
  EXPECT_TRUE(Parse({"--list-midi"}).listMidi);
}

TEST(CommandLine, TheDeviceListShowsIndexAndNameAsAProfileHoldsThem) {
  EXPECT_EQ(FormatDeviceList({"MIDI system alsa: unavailable, why.", "MIDI system: jack"},
                             {"a:out", "b:out"}, {}),
            "MIDI system alsa: unavailable, why.\n"
            "MIDI system: jack\n"
            "MIDI inputs (DefaultMidiIn, DefaultMidiInName):\n"
            "  0  a:out\n"
            "  1  b:out\n"
            "MIDI outputs (DefaultMidiOut, DefaultMidiOutName):\n"
            "  none\n");
}

TEST(CommandLine, RefusesWhatItDoesNotUnderstand) {
  const std::vector<std::vector<const char*>> cases = {{"--midi-api", "coreaudio"},
                                                       {"--midi-api"},
                                                       {"--profile"},
                                                       {"--profile="},
                                                       {"--bogus"},
                                                       {"extra"}};
  for (const auto& args : cases) {
    EXPECT_NE(Parse(args).error, "") << args[0];
  }
  EXPECT_NE(kUsage.find("--midi-api alsa|jack"), std::string_view::npos);
}

} // namespace
} // namespace vantrel
