#pragma once
// Writing a file so that a failure never costs the user the file that was there before: the data
// go to a new file beside the target, which replaces the target only once everything was
// written and flushed.  Until then (and after any failure) the target is untouched and the
// temporary file is removed.
#include <cstdio>
#include <string>

class TReplaceFile {
 public:
  explicit TReplaceFile(const std::string& path);
  ~TReplaceFile();  // removes the temporary file unless commit() succeeded
  TReplaceFile(const TReplaceFile&) = delete;
  TReplaceFile& operator=(const TReplaceFile&) = delete;

  // The stream to write to; null when the file could not be created (see error()).
  FILE* fp() const { return m_fp; }
  // The file beside the target that receives the data, for writers that take a path (they
  // write it while fp() stays unused; commit() then puts it in place).
  const std::string& tempPath() const { return m_tmpPath; }
  bool ok() const { return m_fp != nullptr && m_error.empty(); }
  // Writes n bytes; a short write is remembered and reported by commit().
  bool write(const void* data, size_t n);
  // Flushes, closes and renames over the target; false with error() set when anything failed.
  bool commit();
  // Why the file could not be written (empty while all is well), and the system's error number of
  // that failure (0 when there is none).
  const std::string& error() const { return m_error; }
  int errorNumber() const { return m_errno; }

 private:
  void fail(const char* what, int err);

  std::string m_path;
  std::string m_tmpPath;
  FILE* m_fp = nullptr;
  std::string m_error;
  int m_errno = 0;
  bool m_committed = false;
};
