#pragma once
// A file descriptor owned by one object and closed with it.

#include <utility>

namespace vantrel {

class CUniqueFd {
public:
  CUniqueFd() = default;
  explicit CUniqueFd(int fd) : m_fd(fd) {}
  ~CUniqueFd() { Close(); }
  CUniqueFd(CUniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  CUniqueFd& operator=(CUniqueFd&& other) noexcept {
    if (this != &other) {
      Close();
      m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
  }
  CUniqueFd(const CUniqueFd&) = delete;
  CUniqueFd& operator=(const CUniqueFd&) = delete;

  int Get() const { return m_fd; }
  bool IsOpen() const { return m_fd >= 0; }
  // Closes now and returns close()'s result, for callers that must see it
  // (NFS reports late write errors there); 0 when nothing was open.
  int Close();

private:
  int m_fd = -1;
};

} // namespace vantrel
