#include "midi/jack_client.h"

#include "midi/midi_backend.h"
#include "midi/midi_result.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace vantrel {
namespace {

std::mutex g_sharedLock;
std::shared_ptr<JackMidiClient> g_shared; // guarded by g_sharedLock

// libjack reports "cannot connect to server" and the like on standard
// error while it merely looks for a server; with no server running that is
// the expected answer, not an error. Its messages are shown only once a
// client is up.
std::atomic<bool> g_jackMessagesShown{false};
// What the last failed open was told, so that a server that answers but
// refuses is not reported as no server at all.
std::atomic<int> g_lastOpenStatus{0};

void PrintJackMessage(const char* text) {
  if (g_jackMessagesShown.load(std::memory_order_relaxed)) {
    std::fprintf(stderr, "JACK: %s\n", text);
  }
}

// JACK's notification thread (never the process thread): only signals the
// descriptor; the dialog thread asks for the lists itself, since JACK must
// not be called back from inside its notifications.
void SignalDeviceChange() {
  const int fd = JackDeviceChangeFd();
  if (fd >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);
  }
}

void OnPortRegistration(jack_port_id_t, int, void*) {
  SignalDeviceChange();
}

void OnClientRegistration(const char*, int, void*) {
  SignalDeviceChange();
}

// JACK refuses connections to a client that has registered its ports but is
// not active yet; its activation reorders the graph, which is the moment to
// try again.
int OnGraphOrder(void*) {
  SignalDeviceChange();
  return 0;
}

} // namespace

int JackDeviceChangeFd() {
  static const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return fd;
}

std::unique_ptr<JackMidiClient> JackMidiClient::Open() {
  jack_set_error_function(&PrintJackMessage);
  jack_set_info_function(&PrintJackMessage);
  jack_status_t status{};
  jack_client_t* client = jack_client_open(kMidiClientName, JackNoStartServer, &status);
  g_jackMessagesShown.store(client != nullptr, std::memory_order_relaxed);
  if (client == nullptr) {
    g_lastOpenStatus.store(static_cast<int>(status), std::memory_order_relaxed);
    return nullptr;
  }
  std::unique_ptr<JackMidiClient> result(new JackMidiClient(client));
  jack_set_process_callback(client, &JackMidiClient::Process, result.get());
  jack_on_shutdown(client, &JackMidiClient::OnShutdown, result.get());
  jack_set_port_registration_callback(client, &OnPortRegistration, nullptr);
  jack_set_client_registration_callback(client, &OnClientRegistration, nullptr);
  jack_set_graph_order_callback(client, &OnGraphOrder, nullptr);
  return result;
}

JackMidiClient::JackMidiClient(jack_client_t* client) : m_client(client) {}

JackMidiClient::~JackMidiClient() {
  // Closing deactivates and joins the process thread.
  jack_client_close(m_client);
}

std::vector<std::string> JackMidiClient::PortNames(unsigned long flags) {
  std::vector<std::string> names;
  if (ServerGone()) {
    return names;
  }
  const char** ports = jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
  if (ports == nullptr) {
    return names;
  }
  for (const char** port = ports; *port != nullptr; ++port) {
    if (!IsBridgePortName(*port)) {
      names.emplace_back(*port);
    }
  }
  jack_free(static_cast<void*>(ports));
  return names;
}

int JackMidiClient::Connect(const std::string& source, const std::string& destination) {
  if (ServerGone()) {
    return -1;
  }
  return jack_connect(m_client, source.c_str(), destination.c_str());
}

int JackMidiClient::OpenSide(Side side, IJackProcessPart& part, const std::string& device,
                             jack_port_t*& port, std::string& error) {
  const bool input = side == Side::Input;
  const std::string what = input ? "MIDI input" : "MIDI output";
  std::string reason;
  port = Attach(side, input ? kMidiInPortName : kMidiOutPortName, part, reason);
  if (port == nullptr) {
    error = "Cannot open the " + what + ": " + reason;
    return kMidiFailed;
  }
  const std::string own = jack_port_name(port);
  if ((input ? Connect(device, own) : Connect(own, device)) != 0) {
    error = "Cannot connect the " + what + " to \"" + device + "\".";
    return kMidiFailed;
  }
  return kMidiOk;
}

jack_port_t* JackMidiClient::Attach(Side side, const char* portName, IJackProcessPart& part,
                                    std::string& error) {
  const std::lock_guard lock(m_controlLock);
  Slot& slot = SlotOf(side);
  if (slot.part.load() != nullptr) {
    error = side == Side::Input ? "this process has a MIDI input open already."
                                : "this process has a MIDI output open already.";
    return nullptr;
  }
  const unsigned long flags = side == Side::Input ? JackPortIsInput : JackPortIsOutput;
  jack_port_t* port =
      ServerGone() ? nullptr
                   : jack_port_register(m_client, portName, JACK_DEFAULT_MIDI_TYPE, flags, 0);
  if (port == nullptr) {
    error = "JACK refused to register its port.";
    return nullptr;
  }
  if (!ActivateLocked()) {
    jack_port_unregister(m_client, port);
    error = "JACK refused to activate the client.";
    return nullptr;
  }
  slot.port = port;
  slot.part.store(&part, std::memory_order_seq_cst);
  return port;
}

bool JackMidiClient::Activate() {
  const std::lock_guard lock(m_controlLock);
  return ActivateLocked();
}

bool JackMidiClient::ActivateLocked() {
  if (!m_activated && !ServerGone() && jack_activate(m_client) == 0) {
    m_activated = true;
  }
  return m_activated;
}

void JackMidiClient::Detach(Side side) {
  const std::lock_guard lock(m_controlLock);
  Slot& slot = SlotOf(side);
  if (slot.part.load() == nullptr) {
    return;
  }
  slot.part.store(nullptr, std::memory_order_seq_cst);
  // Process announces itself before it reads the slots, both in the single
  // total order of sequentially consistent operations: either it read the
  // cleared slot, or this loop sees it running and waits for it to end.
  while (m_inProcess.load(std::memory_order_seq_cst)) {
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  if (!ServerGone()) {
    // Disconnected first, so that no reader sees the port's last buffer
    // again before it goes.
    jack_port_disconnect(m_client, slot.port);
    jack_port_unregister(m_client, slot.port);
  }
  slot.port = nullptr;
}

int JackMidiClient::Process(jack_nframes_t frames, void* user) {
  auto* self = static_cast<JackMidiClient*>(user);
  self->m_inProcess.store(true, std::memory_order_seq_cst);
  // Input first: thru that it queues goes out in this same period.
  for (Slot& slot : self->m_slots) {
    if (IJackProcessPart* part = slot.part.load(std::memory_order_seq_cst)) {
      part->Process(slot.port, frames);
    }
  }
  self->m_inProcess.store(false, std::memory_order_release);
  return 0;
}

void JackMidiClient::OnShutdown(void* user) {
  static_cast<JackMidiClient*>(user)->m_serverGone.store(true, std::memory_order_relaxed);
  // Every device has gone with the server.
  SignalDeviceChange();
}

std::shared_ptr<JackMidiClient> AcquireJackClient() {
  const std::lock_guard lock(g_sharedLock);
  if (g_shared == nullptr || g_shared->ServerGone()) {
    g_shared = JackMidiClient::Open();
  }
  return g_shared;
}

std::string JackRefusal() {
  const int status = g_lastOpenStatus.load(std::memory_order_relaxed);
  if (status == 0 || (status & JackServerFailed) != 0) {
    return {};
  }
  // What each flag of libjack's status means; the first one set is named.
  struct Flag {
    int bit;
    const char* words;
  };
  constexpr std::array<Flag, 6> kFlags = {{
      {JackVersionError, "speaks another protocol version than this program's JACK library"},
      {JackNameNotUnique, "refused the client's name"},
      {JackShmFailure, "answered, but its shared memory could not be used"},
      {JackServerError, "answered, but the exchange with it failed"},
      {JackInitFailure, "answered, but the client could not be set up"},
      {JackLoadFailure, "could not load the client"},
  }};
  for (const Flag& flag : kFlags) {
    if ((status & flag.bit) != 0) {
      return flag.words;
    }
  }
  char words[64];
  std::snprintf(words, sizeof words, "answered, but did not open the client (status 0x%x)",
                static_cast<unsigned>(status));
  return words;
}

bool ReopenJackClient() {
  const std::lock_guard lock(g_sharedLock);
  // The old client goes first (unless a port still holds it), so that the
  // new one takes the plain name "Vantrel".
  g_shared.reset();
  g_shared = JackMidiClient::Open();
  return g_shared != nullptr;
}

} // namespace vantrel
