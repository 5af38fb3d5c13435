#include "e2e_fixture.h"

#include "midi/midi_backend.h"

#include <algorithm>
#include <thread>

namespace vantrel::test {

std::size_t RowOfKey(std::string_view key) {
  for (std::size_t row = 0; row < kCatalogue.size(); ++row) {
    if (kCatalogue[row].key == key) {
      return row;
    }
  }
  ADD_FAILURE() << "no row for " << key;
  return 0;
}

void EndToEndTest::SetUp() {
  MixerdFixture::SetUp();
  if (HasFatalFailure()) {
    return;
  }
  peer_ = std::make_unique<JackPeer>();
  ASSERT_EQ(peer_->Error(), "");
  link_ = ConnectLink();
  ASSERT_NE(link_->Server(), nullptr);
  profilePath_ = dir_.Path() + "/vantrel.INI";
}

void EndToEndTest::TearDown() {
  if (bridge_) {
    StopBridge();
  }
}

void EndToEndTest::WriteProfile(const std::map<std::string, int>& controllers, int channel,
                                int activePage) {
  SelectMidiApi(MidiApi::Jack);
  auto indexOf = [](const std::vector<std::string>& names, const std::string& name) {
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
  };
  const int in = indexOf(MidiInputNames(), peer_->OutputName(0));
  const int out = indexOf(MidiOutputNames(), peer_->InputName(0));
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  CSettings settings(profilePath_);
  settings.WriteInt(kActivePageKey, activePage);
  settings.WriteInt(kDefaultMidiInKey, in);
  settings.WriteInt(kDefaultMidiOutKey, out);
  settings.WriteInt(kDefaultMidiOutChannelKey, channel);
  for (const auto& [key, number] : controllers) {
    settings.WriteInt(CcMappingKey(key), number);
  }
}

void EndToEndTest::StartBridge() {
  std::vector<std::string> args = {"--profile", profilePath_, "--midi-api", "jack"};
  if (!Windowed()) {
    args.push_back("--headless");
  }
  bridge_ = std::make_unique<BridgeProcess>(
      args, dir_.Path(),
      std::map<std::string, std::string>{{"QT_QPA_PLATFORM", "offscreen"},
                                         {"VANTREL_NO_MIXER_WARNING", "1"}});
  ASSERT_TRUE(bridge_->Start());
  // Both modes say so once the saved devices are open.
  ASSERT_TRUE(bridge_->WaitForOutput("MIDI input: opened"))
      << bridge_->Output() << bridge_->Errors();
}

int EndToEndTest::StopBridge() {
  const int code = bridge_->Stop();
  return code;
}

void EndToEndTest::Play(const std::vector<Message>& messages, unsigned perPeriod) {
  if (perPeriod != 0) {
    peer_->SetPacing(perPeriod);
  }
  for (const Message& m : messages) {
    while (!peer_->Send(0, m)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  received_ += messages.size();
}

int32_t EndToEndTest::Read(std::size_t row) {
  int32_t cell = 0;
  ReadParameter(*link_->Server(), kCatalogue[row], cell);
  return cell;
}

int32_t EndToEndTest::WaitForValue(std::size_t row, int32_t expected,
                                   std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  int32_t value = Read(row);
  while (value != expected && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    value = Read(row);
  }
  return value;
}

std::string EndToEndTest::Dump() {
  const CommandResult result = RunCommand({MixerctlProgram(), "dump"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result.out;
}

} // namespace vantrel::test
