#pragma once
// A wake-up one thread gives another: an eventfd, readable while a wake-up
// is pending, that a poll(), an epoll or a QSocketNotifier watches. Giving
// it never blocks or allocates, so the MIDI callback thread may.

namespace vantrel {

class CWakeFd {
public:
  // Throws std::system_error ("Cannot create the wake-up of <what>") when no
  // eventfd can be made (start-up only).
  explicit CWakeFd(const char* what);
  ~CWakeFd();
  CWakeFd(const CWakeFd&) = delete;
  CWakeFd& operator=(const CWakeFd&) = delete;

  int Fd() const { return m_fd; }
  // Any thread; lock-free and allocation-free.
  void Signal() noexcept;
  // The watching thread: clears the wake-up. Call it before taking what
  // waits, so that anything given meanwhile wakes the thread again.
  void Acknowledge() noexcept;

private:
  int m_fd = -1;
};

} // namespace vantrel
