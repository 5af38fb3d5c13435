#include "support/sound_server.h"

#include "support/mixerd_server.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace vantrel::test {

std::string Pactl(std::vector<std::string> args) {
  args.insert(args.begin(), "/usr/bin/pactl");
  const CommandResult result = RunCommand(args);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result.out;
}

std::vector<long> VolumesIn(const std::string& text) {
  std::vector<long> volumes;
  const std::size_t line = text.find("Volume:");
  if (line == std::string::npos) {
    return volumes;
  }
  const std::string rest = text.substr(line, text.find('\n', line) - line);
  static const std::regex channel(R"(([a-z-]+): +(\d+) /)");
  for (auto it = std::sregex_iterator(rest.begin(), rest.end(), channel);
       it != std::sregex_iterator(); ++it) {
    volumes.push_back(std::stol((*it)[2]));
  }
  return volumes;
}

std::vector<long> SinkVolume(const std::string& sink) {
  return VolumesIn(Pactl({"get-sink-volume", sink}));
}

std::vector<long> SourceVolume(const std::string& source) {
  return VolumesIn(Pactl({"get-source-volume", source}));
}

std::string StreamBlock(const std::string& name) {
  const std::string list = Pactl({"list", "sink-inputs"});
  // A player names its application; a module's stream only its media.
  const std::string application = "application.name = \"" + name + "\"";
  const std::string media = "media.name = \"" + name + "\"";
  for (std::size_t at = list.find("Sink Input #"); at != std::string::npos;) {
    const std::size_t next = list.find("Sink Input #", at + 1);
    const std::string block = list.substr(at, next == std::string::npos ? next : next - at);
    if (block.find(application) != std::string::npos || block.find(media) != std::string::npos) {
      return block;
    }
    at = next;
  }
  return {};
}

std::vector<long> StreamVolume(const std::string& name) {
  return VolumesIn(StreamBlock(name));
}

bool StreamMuted(const std::string& name) {
  return StreamBlock(name).find("\tMute: yes\n") != std::string::npos;
}

bool SinkMuted(const std::string& sink) {
  return Pactl({"get-sink-mute", sink}).find("yes") != std::string::npos;
}

std::string StreamIndex(const std::string& name) {
  const std::string block = StreamBlock(name);
  return block.substr(12, block.find('\n') - 12);
}

int CutPipeWireLinks(const std::string& from, const std::string& to) {
  std::istringstream links(RunCommand({"/usr/bin/pw-link", "--links", "--id"}).out);
  // A port's line ("  137 vantrel_sine:output_FL") comes before its links
  // ("  129   |->  168 vantrel-mixerd:input_FL").
  const std::regex link(R"(^ *([0-9]+) +\|-> +[0-9]+ (.*)$)");
  bool fromPort = false;
  int cut = 0;
  for (std::string line; std::getline(links, line);) {
    std::smatch match;
    if (line.find('|') == std::string::npos) {
      fromPort = line.find(from) != std::string::npos;
    } else if (fromPort && std::regex_search(line, match, link) && match[2].str().starts_with(to) &&
               RunCommand({"/usr/bin/pw-link", "--disconnect", match[1]}).exitCode == 0) {
      ++cut;
    }
  }
  return cut;
}

std::vector<std::string> MeterStreams() {
  return RecordStreams("Vantrel level meter");
}

std::vector<std::string> RecordStreams(const std::string& mediaName) {
  const std::string list = Pactl({"list", "source-outputs"});
  const std::string header = "Source Output #";
  std::vector<std::string> indices;
  for (std::size_t at = list.find(header); at != std::string::npos;) {
    const std::size_t next = list.find(header, at + 1);
    const std::string block = list.substr(at, next == std::string::npos ? next : next - at);
    if (block.find("media.name = \"" + mediaName + "\"") != std::string::npos) {
      indices.push_back(block.substr(header.size(), block.find('\n') - header.size()));
    }
    at = next;
  }
  return indices;
}

bool Near(const std::vector<long>& volumes, std::vector<long> expected) {
  if (volumes.size() != expected.size()) {
    return false;
  }
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    if (std::abs(volumes[i] - expected[i]) > kVolumeTolerance) {
      return false;
    }
  }
  return true;
}

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

::testing::AssertionResult VolumesBecome(const std::function<std::vector<long>()>& read,
                                         const std::vector<long>& expected,
                                         std::chrono::milliseconds timeout) {
  std::vector<long> last;
  if (Eventually(
          [&] {
            last = read();
            return Near(last, expected);
          },
          timeout)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "volumes " << Join(last) << "instead of " << Join(expected);
}

std::string Join(const std::vector<long>& values) {
  std::string text;
  for (long value : values) {
    text += std::to_string(value) + " ";
  }
  return text;
}

void WriteSine(const std::string& path, int seconds, double amplitude) {
  constexpr int kRate = 48000;
  std::ofstream file(path, std::ios::binary);
  for (int i = 0; i < kRate * seconds; ++i) {
    const auto sample = static_cast<int16_t>(
        std::lround(amplitude * 32767 * std::sin(2 * M_PI * 440.0 * i / kRate)));
    file.write(reinterpret_cast<const char*>(&sample), 2);
    file.write(reinterpret_cast<const char*>(&sample), 2);
  }
}

pid_t StartProgram(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  return ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : 0;
}

void EndProgram(pid_t& pid) {
  if (pid > 0) {
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = 0;
  }
}

Player::Player(const std::string& applicationName, const std::vector<std::string>& properties,
               PlayerNaming naming) {
  std::vector<std::string> args = {"/usr/bin/pacat", "--playback", "--raw",
                                   "--property=application.name=" + applicationName};
  if (naming == PlayerNaming::Client) {
    args.push_back("--client-name=" + applicationName);
  }
  for (const std::string& property : properties) {
    args.push_back("--property=" + property);
  }
  args.emplace_back("/dev/zero");
  m_pid = StartProgram(std::move(args));
  Eventually([&] { return !StreamVolume(applicationName).empty(); });
}

} // namespace vantrel::test
