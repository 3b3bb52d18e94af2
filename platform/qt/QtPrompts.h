#pragma once
// The prompt service of the running program: Qt message boxes, file dialogs and the colour
// chooser.  Installed by the application at start-up (t_setPromptService).  Calls from a thread
// other than the interface thread are carried out on the interface thread and wait for the
// answer.  After SIGINT or SIGTERM nothing waits for a click: questions go to standard error and
// take the console's safe answer.
#include "platform/Prompt.h"

class TQtPromptService : public TPromptService {
 public:
  PromptAnswer message(const std::string& text, const std::string& caption, PromptButtons buttons,
                       PromptIcon icon) override;
  int choose(const std::string& text, const std::string& caption,
             const std::vector<std::string>& buttonTexts) override;
  std::vector<std::string> openFiles(const std::string& caption, const std::string& filter,
                                     bool multiSelect) override;
  std::string saveFile(const std::string& caption, const std::string& filter,
                       const std::string& suggestedName) override;
  bool chooseColor(unsigned char rgb[3]) override;
};
