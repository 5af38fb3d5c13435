#include "app/headless_bridge.h"

#include "app/bridge_runtime.h"
#include "app/run_report.h"
#include "app/single_instance.h"
#include "midi/midi_backend.h"
#include "posix/stop_signals.h"
#include "settings/settings.h"

#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace vantrel {

int RunHeadless(const CommandLine& options) {
  // Stop signals arrive through a descriptor, so the loop handles them in
  // order with everything else instead of inside a handler; a stop that
  // a JACK or bus call keeps from finishing ends at the deadline.
  CStopSignalCatcher signals;
  if (!signals.IsCatching()) {
    std::fprintf(stderr, "vantrel: cannot watch for stop signals.\n");
    return 1;
  }
  // SIGUSR1 prints the counters; without it the bridge runs on regardless.
  const CUniqueFd countersAsked = BlockedSignalFd(SIGUSR1);
  const std::filesystem::path profile = ProfilePathOf(options);
  const CFileLock lock(profile);
  if (const std::optional<std::string> inUse = ProfileInUse(lock, profile)) {
    std::fprintf(stderr, "vantrel: %s\n", inUse->c_str());
    return kExitProfileInUse;
  }
  CBridgeRuntime runtime(options);
  CBridgeSession& session = runtime.Session();
  session.LoadMainSettings();
  session.InitPages();
  std::printf("Profile: %s (read only)\n", runtime.Settings().Path().c_str());
  for (const std::string& line : MidiSystemLines()) {
    PrintLine(line);
  }
  if (session.Mixer().Connect()) {
    const std::string backend = runtime.MixerBackendStatus();
    std::printf("Mixer: connected%s%s\n", backend.empty() ? "" : ", back end ", backend.c_str());
  } else {
    const std::string& reason = session.Mixer().Error();
    std::printf("Mixer: no mixer server could be reached; controllers pass through only%s%s\n",
                reason.empty() ? "" : ". ", reason.c_str());
  }
  const SavedDevicesResult opened = session.Devices().OpenSaved();
  for (const std::string& line : session.Devices().DescribeSaved(opened)) {
    PrintLine(line);
  }
  session.StartFollowingMixer();
  const AppState& state = session.State();
  std::printf("Feedback: %s; soft takeover: %s\n", session.Feedback() ? "on" : "off",
              session.SoftTakeover() ? "on" : "off");
  if (session.Surface() != SurfaceProtocol::None) {
    std::printf("Surface: %s on the MIDI input and output (no thru, no CC mapping there)\n",
                std::string(SurfaceProtocolName(session.Surface())).c_str());
  }
  std::printf("Output channel: %d\nRunning; stop with Ctrl+C.\n",
              static_cast<int>((state.outputChannel & 0x0F) + 1));
  std::fflush(stdout);

  for (;;) {
    // The mixer's needs change with every turn: setters waiting for the
    // socket, a refresh waiting for its time. A negative descriptor (no
    // device watch, no bus) is skipped by poll.
    const MixerEventWatch mixer = session.Mixer().EventWatch();
    pollfd fds[6] = {{runtime.ControllerWakeFd(), POLLIN, 0},
                     {signals.Fd(), POLLIN, 0},
                     {session.Devices().WatchFd(), POLLIN, 0},
                     {countersAsked.Get(), POLLIN, 0},
                     {mixer.fd, mixer.events, 0},
                     {session.SurfaceFd(), POLLIN, 0}};
    if (poll(fds, 6, mixer.timeoutMs) < 0) {
      if (errno == EINTR) {
        continue;
      }
      std::perror("vantrel: waiting for MIDI failed");
      break;
    }
    if ((fds[0].revents & POLLIN) != 0) {
      session.DrainControllers();
    }
    if ((fds[5].revents & POLLIN) != 0) {
      session.OnSurface();
    }
    if ((fds[2].revents & POLLIN) != 0) {
      for (const std::string& line : session.Devices().OnWatch().lines) {
        PrintLine(line);
      }
    }
    if ((fds[3].revents & POLLIN) != 0) {
      signalfd_siginfo info{};
      while (read(countersAsked.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      }
      PrintLine(StatsLine(session.Stats()));
    }
    session.ProcessMixerEvents();
    for (const std::string& notice : session.Mixer().TakeNotices()) {
      PrintLine("Mixer: " + notice);
    }
    if ((fds[1].revents & POLLIN) != 0) {
      std::printf("Stopping on signal %d.\n", signals.TakeSignal());
      std::fflush(stdout);
      break;
    }
  }
  session.Shutdown();
  PrintLine(StatsLine(session.Stats()));
  std::printf("Stopped.\n");
  return 0;
}

} // namespace vantrel
