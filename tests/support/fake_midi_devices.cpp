#include "support/fake_midi_devices.h"

#include <cstdio>

namespace vantrel::test {

namespace {

class FakeConnection final : public IMidiInConnection, public IMidiOutConnection {
public:
  FakeConnection(std::shared_ptr<FakeMidiDevices> devices, std::string side, uint32_t device)
      : m_devices(std::move(devices)), m_prefix(std::move(side) + " "),
        m_device(std::to_string(device)) {
    m_devices->log.push_back(m_prefix + "open " + m_device);
  }
  ~FakeConnection() override {
    m_devices->log.push_back(m_prefix + "close " + m_device);
    if (m_prefix == "in ") {
      m_devices->receiver = nullptr;
    }
  }
  int Start(std::string& error) override {
    m_devices->log.push_back(m_prefix + "start");
    if (m_devices->failStart) {
      error = "The device stopped answering.";
      return 1;
    }
    return 0;
  }
  int Stop(std::string&) override {
    m_devices->log.push_back(m_prefix + "stop");
    return 0;
  }
  bool Send(const uint8_t* bytes, std::size_t size) noexcept override {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", bytes[i]);
      text += hex;
    }
    m_devices->sent.push_back(std::move(text));
    return true;
  }
  const char* SendError() const noexcept override { return ""; }

private:
  std::shared_ptr<FakeMidiDevices> m_devices;
  std::string m_prefix;
  std::string m_device;
};

bool Refused(FakeMidiDevices& devices, const std::vector<std::string>& names, uint32_t device,
             std::string& error) {
  if (devices.failOpen || device >= names.size()) {
    error = "The device is busy.";
    return true;
  }
  return false;
}

class FakeInBackend final : public IMidiInBackend {
public:
  explicit FakeInBackend(std::shared_ptr<FakeMidiDevices> devices)
      : m_devices(std::move(devices)) {}
  std::vector<std::string> DeviceNames() override { return m_devices->inputs; }
  std::unique_ptr<IMidiInConnection> Open(uint32_t device, IMidiReceiver& receiver,
                                          std::string& error) override {
    if (Refused(*m_devices, m_devices->inputs, device, error)) {
      return nullptr;
    }
    m_devices->receiver = &receiver;
    return std::make_unique<FakeConnection>(m_devices, "in", device);
  }

private:
  std::shared_ptr<FakeMidiDevices> m_devices;
};

class FakeOutBackend final : public IMidiOutBackend {
public:
  explicit FakeOutBackend(std::shared_ptr<FakeMidiDevices> devices)
      : m_devices(std::move(devices)) {}
  std::vector<std::string> DeviceNames() override { return m_devices->outputs; }
  std::unique_ptr<IMidiOutConnection> Open(uint32_t device, std::string& error) override {
    if (Refused(*m_devices, m_devices->outputs, device, error)) {
      return nullptr;
    }
    return std::make_unique<FakeConnection>(m_devices, "out", device);
  }

private:
  std::shared_ptr<FakeMidiDevices> m_devices;
};

} // namespace

std::unique_ptr<IMidiInBackend> MakeFakeInBackend(std::shared_ptr<FakeMidiDevices> devices) {
  return std::make_unique<FakeInBackend>(std::move(devices));
}

std::unique_ptr<IMidiOutBackend> MakeFakeOutBackend(std::shared_ptr<FakeMidiDevices> devices) {
  return std::make_unique<FakeOutBackend>(std::move(devices));
}

} // namespace vantrel::test
