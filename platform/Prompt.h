#pragma once
// The user's side of every question the program asks: message boxes, file dialogs, the colour
// chooser.  Code below the GUI layer calls these free functions; the application installs a
// Qt-backed service at start-up, tests install a TScriptedPrompts.
#include <string>
#include <vector>

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptIcon { None, Information, Warning, Error, Question };
enum class PromptAnswer { Ok, Cancel, Yes, No };

class TPromptService {
 public:
  virtual ~TPromptService() = default;
  virtual PromptAnswer message(const std::string& text, const std::string& caption,
                               PromptButtons buttons, PromptIcon icon) = 0;
  // A box with buttons of the caller's own texts; returns the index of the pressed button,
  // or -1 when the box was closed without one.
  virtual int choose(const std::string& text, const std::string& caption,
                     const std::vector<std::string>& buttonTexts) = 0;
  // filter in Qt's form, e.g. "TIFF (*.tif);;All files (*)".  Empty result: cancelled.
  virtual std::vector<std::string> openFiles(const std::string& caption, const std::string& filter,
                                             bool multiSelect) = 0;
  virtual std::string saveFile(const std::string& caption, const std::string& filter,
                               const std::string& suggestedName) = 0;
  // rgb holds the initial colour and receives the chosen one; false when cancelled.
  virtual bool chooseColor(unsigned char rgb[3]) = 0;
};

// nullptr restores the console service (prints the question, answers Ok / Yes / cancel).
void t_setPromptService(TPromptService* service);
// The console service itself: prints to standard error and takes the safe answer at once.
TPromptService& t_consolePrompts();
// One question to the installed service (or the console): the service cannot be taken away while
// the call runs.  Use it within one expression: t_prompts().message(...).
class TPromptCall {
 public:
  TPromptCall();
  ~TPromptCall();
  TPromptCall(const TPromptCall&) = delete;
  TPromptCall& operator=(const TPromptCall&) = delete;
  PromptAnswer message(const std::string& text, const std::string& caption, PromptButtons buttons,
                       PromptIcon icon);
  int choose(const std::string& text, const std::string& caption,
             const std::vector<std::string>& buttonTexts) {
    return service().choose(text, caption, buttonTexts);
  }
  std::vector<std::string> openFiles(const std::string& caption, const std::string& filter,
                                     bool multiSelect) {
    return service().openFiles(caption, filter, multiSelect);
  }
  std::string saveFile(const std::string& caption, const std::string& filter,
                       const std::string& suggestedName) {
    return service().saveFile(caption, filter, suggestedName);
  }
  bool chooseColor(unsigned char rgb[3]) { return service().chooseColor(rgb); }

 private:
  TPromptService& service() const;
  void* m_use;
};
TPromptCall t_prompts();

// While one lives, the notices (messages with an Ok button only) raised on its thread are kept in
// `texts` instead of being shown, so that the caller can report one failure in one message with
// the reasons the lower layers gave.  Questions still go to the user.  Collectors nest; the
// innermost one keeps the texts.
class TPromptCollector {
 public:
  TPromptCollector();
  ~TPromptCollector();
  TPromptCollector(const TPromptCollector&) = delete;
  TPromptCollector& operator=(const TPromptCollector&) = delete;
  std::vector<std::string> texts;

 private:
  TPromptCollector* m_outer;
};

// Shorthands in the shape of the usual message-box calls.
void t_info(const std::string& text, const std::string& caption = "Kestrin");
void t_warn(const std::string& text, const std::string& caption = "Kestrin");
bool t_askOkCancel(const std::string& text, const std::string& caption = "Kestrin");
bool t_askYesNo(const std::string& text, const std::string& caption = "Kestrin");
PromptAnswer t_askYesNoCancel(const std::string& text, const std::string& caption = "Kestrin");
