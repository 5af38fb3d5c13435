#include "mixer_backend.h"

namespace vantrel::mixerd {

namespace {

class VirtualBackend final : public MixerBackend {
public:
  std::string_view Name() const override { return "virtual"; }
  std::string Status() const override { return "the model alone; nothing real is driven"; }
  void Apply(int) override {}
  std::vector<BackendTarget> Targets() const override { return {}; }
  std::string MetersUnavailable() const override {
    return "the virtual back end plays no sound, so there is no level to measure";
  }
};

} // namespace

int MixerBackend::Poll(std::span<pollfd> fds, int timeoutMs) {
  return ::poll(fds.data(), fds.size(), timeoutMs);
}

std::unique_ptr<MixerBackend> MakeVirtualBackend() {
  return std::make_unique<VirtualBackend>();
}

} // namespace vantrel::mixerd
