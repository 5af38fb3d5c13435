#pragma once
// One running program per file: an exclusive lock on a small lock file
// beside it, which the kernel releases when the holder exits or dies, so a
// crash never leaves a stale lock. The holder's process id is written into
// the lock file for the one that is refused.

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace vantrel {

class CFileLock {
public:
  enum class State {
    Held,        // this object holds the lock
    HeldByOther, // another open lock file (usually another process) holds it
    Unavailable, // no lock could be made (read-only folder...): see Error()
  };

  // Tries once, without waiting. Links to the file are followed, so every
  // name of one file shares one lock.
  explicit CFileLock(const std::filesystem::path& file);
  ~CFileLock();
  CFileLock(const CFileLock&) = delete;
  CFileLock& operator=(const CFileLock&) = delete;

  State GetState() const { return m_state; }
  // HeldByOther: the holder's process id as it wrote it, or 0 when unknown.
  pid_t Holder() const { return m_holder; }
  // Unavailable: why, as a phrase.
  const std::string& Error() const { return m_error; }

private:
  int m_fd = -1;
  State m_state = State::Unavailable;
  pid_t m_holder = 0;
  std::string m_error;
};

// The lock file of a file: hidden, in the same folder.
std::filesystem::path LockPathOf(const std::filesystem::path& file);

} // namespace vantrel
