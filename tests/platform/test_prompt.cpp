#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/Progress.h"
#include "platform/Prompt.h"
#include "platform/ScriptedPrompts.h"

TEST(Prompt, ScriptedServiceRecordsTextsAndAnswersInOrder) {
  TScriptedPrompts p;
  TScriptedPrompts::Scope scope(p);
  p.answers = {PromptAnswer::Yes, PromptAnswer::No};
  EXPECT_TRUE(t_askYesNo("first?"));
  EXPECT_FALSE(t_askYesNo("second?"));
  // Queue exhausted: the safe answer.
  EXPECT_FALSE(t_askOkCancel("third?"));
  t_info("done");
  EXPECT_EQ(p.texts(), (std::vector<std::string>{"first?", "second?", "third?", "done"}));
  p.choices = {1};
  EXPECT_EQ(t_prompts().choose("grey or colour?", "Kestrin", {"grey", "colour"}), 1);
  EXPECT_EQ(p.shown.back().buttons, (std::vector<std::string>{"grey", "colour"}));
}

TEST(Prompt, WithoutServiceConsoleTakesSafeAnswer) {
  t_setPromptService(nullptr);
  EXPECT_FALSE(t_askYesNo("no window here"));
  EXPECT_EQ(t_askYesNoCancel("no window here"), PromptAnswer::Cancel);
  EXPECT_TRUE(t_prompts().openFiles("open", "*", true).empty());
}

namespace {
struct RecordingSink : TProgressSink {
  std::vector<int> events;
  void progressStart(int c, int percent) override { events.push_back(1000 * (percent + 1) + c); }
  void progressStep(int p) override { events.push_back(p); }
  void progressEnd() override { events.push_back(-1); }
};
}  // namespace

TEST(Progress, FractionIsTruncatedPercent) {
  RecordingSink sink;
  t_setProgressSink(&sink);
  t_progressStart(3);
  t_progressStart(3, 40);
  EXPECT_TRUE(t_progressToMainFrame(0.999));
  EXPECT_TRUE(t_progressToMainFrame(0.5));
  t_progressEnd();
  t_setProgressSink(nullptr);
  EXPECT_FALSE(t_progressToMainFrame(0.5));
  EXPECT_EQ(sink.events, (std::vector<int>{1003, 41003, 99, 50, -1}));
}

namespace {
// A sink whose step takes a while, long enough for the owner to try taking it away mid-call.
class SlowSink : public TProgressSink {
 public:
  std::atomic<bool> inside{false};
  std::atomic<bool> done{false};
  void progressStart(int, int) override {}
  void progressStep(int) override {
    inside = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    done = true;
  }
  void progressEnd() override {}
};
}  // namespace

TEST(ProgressSink, ClearingWaitsForACallInFlightOnAnotherThread) {
  auto sink = std::make_unique<SlowSink>();
  t_setProgressSink(sink.get());
  std::thread worker([] { t_progressStep(50); });
  while (!sink->inside) std::this_thread::yield();
  t_setProgressSink(nullptr);
  // The owner may delete the sink now: the worker's call has ended.
  EXPECT_TRUE(sink->done);
  sink.reset();
  worker.join();
  t_progressStep(60);  // nobody listens: nothing happens
  EXPECT_FALSE(t_progressToMainFrame(0.5));
}
