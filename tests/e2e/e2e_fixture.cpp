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
  m_peer = std::make_unique<JackPeer>();
  ASSERT_EQ(m_peer->Error(), "");
  m_link = ConnectLink();
  ASSERT_NE(m_link->Server(), nullptr);
  m_profilePath = m_dir.File("vantrel.INI");
}

void EndToEndTest::TearDown() {
  if (m_bridge) {
    StopBridge();
  }
}

void EndToEndTest::WriteProfile(const std::map<std::string, int>& controllers, int channel,
                                int activePage) {
  SelectMidiApi(MidiApi::Jack);
  ASSERT_TRUE(CurrentMidiApiAvailable()) << ::testing::PrintToString(MidiSystemLines());
  auto indexOf = [](const std::vector<std::string>& names, const std::string& name) {
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
  };
  const int in = indexOf(MidiInputNames(), m_peer->OutputName(0));
  const int out = indexOf(MidiOutputNames(), m_peer->InputName(0));
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  CSettings settings(m_profilePath);
  settings.WriteInt(kActivePageKey, activePage);
  settings.WriteInt(kDefaultMidiInKey, in);
  settings.WriteInt(kDefaultMidiOutKey, out);
  settings.WriteInt(kDefaultMidiOutChannelKey, channel);
  for (const auto& [key, number] : controllers) {
    settings.WriteInt(CcMappingKey(key), number);
  }
}

void EndToEndTest::StartBridge(const std::vector<std::string>& options) {
  std::vector<std::string> args = {"--profile", m_profilePath, "--midi-api", "jack",
                                   "--no-mixer-warning"};
  args.insert(args.end(), options.begin(), options.end());
  if (!Windowed()) {
    args.push_back("--headless");
  }
  m_bridge = std::make_unique<BridgeProcess>(
      args, m_dir.Path(), std::map<std::string, std::string>{{"QT_QPA_PLATFORM", "offscreen"}});
  ASSERT_TRUE(m_bridge->Start());
  // Both modes say so once the saved devices are open.
  ASSERT_TRUE(m_bridge->WaitForOutput("MIDI input: opened"))
      << m_bridge->Output() << m_bridge->Errors();
}

int EndToEndTest::StopBridge() {
  const int code = m_bridge->Stop();
  return code;
}

void EndToEndTest::Play(const std::vector<Message>& messages, unsigned perPeriod) {
  if (perPeriod != 0) {
    m_peer->SetPacing(perPeriod);
  }
  for (const Message& m : messages) {
    while (!m_peer->Send(0, m)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  m_received += messages.size();
}

int32_t EndToEndTest::Read(std::size_t row) {
  // The link's getters answer from its mirror, which the change signals
  // keep current: hear what arrived first.
  m_link->ProcessEvents();
  int32_t cell = 0;
  ReadParameter(*m_link->Server(), kCatalogue[row], cell);
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
