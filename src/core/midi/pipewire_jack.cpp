#include "midi/pipewire_jack.h"

#include "midi/jack_client.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <jack/jack.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vantrel {
namespace {

constexpr const char* kLibraryPathVariable = "LD_LIBRARY_PATH";
// Where Debian puts it, relative to the folder of the system's libjack.
constexpr const char* kPipeWireJackSubfolder = "pipewire-0.3/jack";

// The file of the libjack this process has loaded.
std::filesystem::path LoadedJackLibrary() {
  // Looked up at run time: the address of jack_client_open taken in this
  // program could be its own call stub rather than the library's code.
  void* symbol = dlsym(RTLD_DEFAULT, "jack_client_open");
  Dl_info info{};
  if (symbol == nullptr || dladdr(symbol, &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(info.dli_fname, error);
  return error ? std::filesystem::path(info.dli_fname) : real;
}

bool LibraryPathHas(const std::string& folder) {
  const char* path = std::getenv(kLibraryPathVariable);
  const std::string wrapped = ":" + std::string(path == nullptr ? "" : path) + ":";
  return wrapped.find(":" + folder + ":") != std::string::npos;
}

// Every entry of LD_LIBRARY_PATH but folder; the variable goes when nothing
// is left.
void DropFromLibraryPath(const std::string& folder) {
  const char* path = std::getenv(kLibraryPathVariable);
  if (path == nullptr) {
    return;
  }
  std::string kept;
  std::string rest = path;
  while (true) {
    const std::size_t colon = rest.find(':');
    const std::string entry = rest.substr(0, colon);
    if (!entry.empty() && entry != folder) {
      kept += (kept.empty() ? "" : ":") + entry;
    }
    if (colon == std::string::npos) {
      break;
    }
    rest.erase(0, colon + 1);
  }
  if (kept.empty()) {
    unsetenv(kLibraryPathVariable);
  } else {
    setenv(kLibraryPathVariable, kept.c_str(), 1);
  }
}

// A plain JACK server (jackd, not PipeWire) answers; the probe client goes
// again at once and libjack's complaints about a missing server stay quiet.
bool JackServerAnswers() {
  jack_set_error_function([](const char*) {});
  jack_set_info_function([](const char*) {});
  jack_status_t status{};
  jack_client_t* client = jack_client_open(kMidiClientName, JackNoStartServer, &status);
  if (client == nullptr) {
    return false;
  }
  jack_client_close(client);
  return true;
}

} // namespace

bool UsingPipeWireJack() {
  const std::filesystem::path library = LoadedJackLibrary();
  return library.parent_path().filename() == "jack" &&
         library.parent_path().parent_path().filename().string().rfind("pipewire-", 0) == 0;
}

std::string PipeWireJackFolder() {
  const std::filesystem::path library = LoadedJackLibrary();
  if (library.empty()) {
    return {};
  }
  // Under PipeWire's library already, or beside the system's.
  const std::filesystem::path folder =
      UsingPipeWireJack() ? library.parent_path() : library.parent_path() / kPipeWireJackSubfolder;
  std::error_code error;
  return std::filesystem::exists(folder / "libjack.so.0", error) ? folder.string() : std::string();
}

bool PipeWireAnswers() {
  const char* remote = std::getenv("PIPEWIRE_REMOTE");
  std::string path = remote != nullptr && *remote != '\0' ? remote : "pipewire-0";
  if (path.front() != '/') {
    const char* folder = std::getenv("PIPEWIRE_RUNTIME_DIR");
    if (folder == nullptr || *folder == '\0') {
      folder = std::getenv("XDG_RUNTIME_DIR");
    }
    if (folder == nullptr || *folder == '\0') {
      return false;
    }
    path = std::string(folder) + "/" + path;
  }
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) {
    return false;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return false;
  }
  const bool answers =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return answers;
}

void UsePipeWireJackIfNeeded(char** argv, std::optional<MidiApi> forced) {
  const std::string folder = PipeWireJackFolder();
  if (UsingPipeWireJack()) {
    DropFromLibraryPath(folder);
    return;
  }
  // The cheap questions first; the JACK probe costs a client.
  if (folder.empty() || LibraryPathHas(folder) || forced == MidiApi::Alsa ||
      (forced != MidiApi::Jack && AlsaSequencerError().empty()) || !PipeWireAnswers() ||
      JackServerAnswers()) {
    return;
  }
  const char* old = std::getenv(kLibraryPathVariable);
  const std::string path = old == nullptr || *old == '\0' ? folder : folder + ":" + old;
  setenv(kLibraryPathVariable, path.c_str(), 1);
  execv("/proc/self/exe", argv);
  std::fprintf(stderr, "Vantrel: cannot start again with PipeWire's JACK library (%s): %s.\n",
               folder.c_str(), std::strerror(errno));
  DropFromLibraryPath(folder);
}

std::string JackUnavailableReason() {
  if (UsingPipeWireJack()) {
    return "PipeWire's JACK library (" + PipeWireJackFolder() +
           ") found no PipeWire server to serve it";
  }
  if (const std::string refusal = JackRefusal(); !refusal.empty()) {
    return "the JACK server " + refusal;
  }
  std::string reason = "no JACK server runs";
  if (!PipeWireAnswers()) {
    return reason;
  }
  if (PipeWireJackFolder().empty()) {
    return reason + ", and PipeWire runs but its JACK library is not installed (Debian and "
                    "Ubuntu: the package pipewire-jack)";
  }
  return reason + ", and PipeWire's JACK library could not be used";
}

} // namespace vantrel
