#pragma once
// Sets or clears an environment variable for one scope, and puts back what
// it held. The product reads its bus, folders and servers from the
// environment, so a test points it elsewhere with this.

#include <cstdlib>
#include <optional>
#include <string>

namespace vantrel::test {

// The bus address of a bus that does not exist.
inline constexpr const char* kNoBusAddress = "unix:path=/nonexistent/vantrel-test-bus";

class ScopedEnv {
public:
  // A null value clears the variable.
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) {
      m_old = old;
    }
    Set(name, value);
  }
  ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
  ~ScopedEnv() { Set(m_name.c_str(), m_old ? m_old->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  static void Set(const char* name, const char* value) {
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }

  std::string m_name;
  std::optional<std::string> m_old;
};

} // namespace vantrel::test
