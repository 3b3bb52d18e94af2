#include <gtest/gtest.h>

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
