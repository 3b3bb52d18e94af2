#pragma once
// Progress of long work, from any thread.  The main frame installs a sink that turns these calls
// into queued calls on the interface thread (status-bar caption and bar, "Pro%d" console lines).
// Without a sink the calls do nothing.

class TProgressSink {
 public:
  virtual ~TProgressSink() = default;
  // Each call may come from a worker thread; implementations must be thread-safe.
  // Starting again with a higher percent is how synchronous work advances the bar.
  virtual void progressStart(int captionIndex, int percent) = 0;
  virtual void progressStep(int percent) = 0;
  virtual void progressEnd() = 0;
};

void t_setProgressSink(TProgressSink* sink);

void t_progressStart(int captionIndex, int percent = 0);
void t_progressStep(int percent);
void t_progressEnd();

// Posts a progress step of fraction * 100 (truncated); returns false when nobody listens.
bool t_progressToMainFrame(double fraction);

// The display of one long piece of work done on the calling thread: starts at construction and
// ends at destruction, so that every way out of the work ends it.  step(done, total) reports
// done / total of the current part of the bar (all of it until part() narrows it), only when the
// percent changes.
class TProgressScope {
 public:
  explicit TProgressScope(int captionIndex);
  ~TProgressScope();
  TProgressScope(const TProgressScope&) = delete;
  TProgressScope& operator=(const TProgressScope&) = delete;

  // The following steps fill [from, to] percent.
  void part(int from, int to);
  void step(long long done, long long total);
  // Ends the display now (before a closing message); the destructor then leaves it.
  void end();

 private:
  int m_from = 0;
  int m_to = 100;
  int m_last = 0;
  bool m_ended = false;
};
