#pragma once
// The share of one core that processes take, from /proc: a process by its
// id, or the private sound server of scripts/with-sound-server.sh (its
// pipewire, pipewire-pulse or pulseaudio processes, found by the runtime
// folder in their environment).

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/types.h>
#include <thread>
#include <unistd.h>

namespace vantrel::test {

// Clock ticks of CPU (user + system) that a process used so far; 0 when it
// is gone.
inline long ProcessTicks(const std::string& folder) {
  std::ifstream stat(folder + "/stat");
  const std::string line((std::istreambuf_iterator<char>(stat)), {});
  if (line.empty()) {
    return 0;
  }
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  long ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14 || i == 15) {
      ticks += std::stol(field);
    }
  }
  return ticks;
}

inline long ProcessTicks(pid_t pid) {
  return ProcessTicks("/proc/" + std::to_string(pid));
}

// The private sound server's processes together.
inline long SoundServerTicks() {
  const std::string runtime = std::string("XDG_RUNTIME_DIR=") + std::getenv("XDG_RUNTIME_DIR");
  long ticks = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string folder = entry.path().string();
    std::string comm;
    std::getline(std::ifstream(folder + "/comm"), comm);
    if (comm != "pipewire" && comm != "pipewire-pulse" && comm != "pulseaudio") {
      continue;
    }
    std::ifstream environment(folder + "/environ");
    const std::string text((std::istreambuf_iterator<char>(environment)), {});
    if (text.find(runtime + '\0') != std::string::npos) {
      ticks += ProcessTicks(folder);
    }
  }
  return ticks;
}

// Percent of one core that `ticks` grew by over `seconds`.
inline double CpuPercent(const std::function<long()>& ticks, double seconds) {
  const long before = ticks();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  return 100.0 * static_cast<double>(ticks() - before) /
         static_cast<double>(::sysconf(_SC_CLK_TCK)) / seconds;
}

} // namespace vantrel::test
