#include "volume/replace_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TReplaceFile::TReplaceFile(const std::string& path) : m_path(path) {
  // A link is kept as a link: the file it points to is the one replaced.
  if (char* real = realpath(path.c_str(), nullptr)) {
    m_path = real;
    free(real);
  }
  struct stat st;
  bool existed = false;
  if (stat(m_path.c_str(), &st) == 0) {
    existed = true;
    if (S_ISDIR(st.st_mode)) {
      fail("it is a folder", EISDIR);
      return;
    }
    // Replacing a file that the user may not write would bypass its protection.
    if (access(m_path.c_str(), W_OK) != 0) {
      fail("the existing file may not be written", errno);
      return;
    }
  }
  m_tmpPath = m_path + ".kestrin-tmp-" + std::to_string(getpid());
  const int fd = open(m_tmpPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    fail("the file cannot be created", errno);
    m_tmpPath.clear();
    return;
  }
  if (existed) fchmod(fd, st.st_mode & 07777);  // the replacement keeps the file's permissions
  m_fp = fdopen(fd, "wb");
  if (!m_fp) {
    fail("the file cannot be created", errno);
    close(fd);
    return;
  }
  setvbuf(m_fp, nullptr, _IOFBF, 1 << 20);
}

TReplaceFile::~TReplaceFile() {
  if (m_fp) fclose(m_fp);
  if (!m_committed && !m_tmpPath.empty()) unlink(m_tmpPath.c_str());
}

void TReplaceFile::fail(const char* what, int err) {
  if (!m_error.empty()) return;
  m_error = what;
  m_errno = err;
  if (err) m_error += std::string(" (") + strerror(err) + ")";
}

bool TReplaceFile::write(const void* data, size_t n) {
  if (!ok()) return false;
  if (n && fwrite(data, 1, n, m_fp) != n) {
    fail("writing failed", errno);
    return false;
  }
  return true;
}

bool TReplaceFile::commit() {
  if (!m_fp) return false;
  if (m_error.empty() && fflush(m_fp) != 0) fail("writing failed", errno);
  if (m_error.empty() && fsync(fileno(m_fp)) != 0 && errno != EINVAL) fail("writing failed", errno);
  if (fclose(m_fp) != 0) fail("writing failed", errno);
  m_fp = nullptr;
  if (m_error.empty() && rename(m_tmpPath.c_str(), m_path.c_str()) != 0)
    fail("the file cannot be replaced", errno);
  m_committed = m_error.empty();
  return m_committed;
}
