#include "posix/unique_fd.h"

#include <unistd.h>

namespace vantrel {

int CUniqueFd::Close() {
  if (m_fd < 0) {
    return 0;
  }
  const int result = ::close(m_fd);
  m_fd = -1;
  return result;
}

} // namespace vantrel
