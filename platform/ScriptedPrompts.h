#pragma once
// A prompt service for tests: records every text the user would have seen and answers from a
// script.  Install it with TScriptedPrompts::Scope for the length of a test.
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Prompt.h"

class TScriptedPrompts : public TPromptService {
 public:
  struct Shown {
    std::string kind;  // "message", "choose", "open", "save", "color"
    std::string text;
    std::string caption;
    std::vector<std::string> buttons;  // custom button texts of choose()
  };

  // Answers are taken in order; when a queue is empty the console's safe answer is given.
  std::deque<PromptAnswer> answers;
  std::deque<int> choices;
  std::deque<std::vector<std::string>> openResults;
  std::deque<std::string> saveResults;
  std::deque<std::vector<unsigned char>> colors;

  std::vector<Shown> shown;

  PromptAnswer message(const std::string& text, const std::string& caption, PromptButtons buttons,
                       PromptIcon icon) override;
  int choose(const std::string& text, const std::string& caption,
             const std::vector<std::string>& buttonTexts) override;
  std::vector<std::string> openFiles(const std::string& caption, const std::string& filter,
                                     bool multiSelect) override;
  std::string saveFile(const std::string& caption, const std::string& filter,
                       const std::string& suggestedName) override;
  bool chooseColor(unsigned char rgb[3]) override;

  // Texts of the messages shown so far, in order.
  std::vector<std::string> texts() const;
  bool sawText(const std::string& text) const;

  class Scope {
   public:
    explicit Scope(TScriptedPrompts& p) { t_setPromptService(&p); }
    ~Scope() { t_setPromptService(nullptr); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
  };

 private:
  mutable std::mutex m_mutex;
};
