#include "platform/Prompt.h"

#include "platform/guarded_pointer.h"
#include <cstdio>

namespace {

// Used when no window system is installed: traces the question and takes the safe answer.
class ConsolePrompts : public TPromptService {
 public:
  PromptAnswer message(const std::string& text, const std::string& caption, PromptButtons buttons,
                       PromptIcon) override {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    switch (buttons) {
      case PromptButtons::Ok: return PromptAnswer::Ok;
      case PromptButtons::OkCancel: return PromptAnswer::Cancel;
      case PromptButtons::YesNo: return PromptAnswer::No;
      case PromptButtons::YesNoCancel: return PromptAnswer::Cancel;
    }
    return PromptAnswer::Cancel;
  }
  int choose(const std::string& text, const std::string& caption,
             const std::vector<std::string>&) override {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    return -1;
  }
  std::vector<std::string> openFiles(const std::string&, const std::string&, bool) override {
    return {};
  }
  std::string saveFile(const std::string&, const std::string&, const std::string&) override {
    return {};
  }
  bool chooseColor(unsigned char*) override { return false; }
};

ConsolePrompts g_consolePrompts;
TGuardedPointer<TPromptService> g_service;

}  // namespace

void t_setPromptService(TPromptService* service) { g_service.set(service); }

TPromptService& t_consolePrompts() { return g_consolePrompts; }

TPromptCall::TPromptCall() : m_use(new TGuardedPointer<TPromptService>::Use(g_service)) {}
TPromptCall::~TPromptCall() { delete static_cast<TGuardedPointer<TPromptService>::Use*>(m_use); }

TPromptService& TPromptCall::service() const {
  TPromptService* s = static_cast<TGuardedPointer<TPromptService>::Use*>(m_use)->get();
  return s ? *s : g_consolePrompts;
}

namespace {

TPromptCollector*& currentCollector() {
  thread_local TPromptCollector* c = nullptr;
  return c;
}

}  // namespace

TPromptCollector::TPromptCollector() : m_outer(currentCollector()) { currentCollector() = this; }
TPromptCollector::~TPromptCollector() { currentCollector() = m_outer; }

PromptAnswer TPromptCall::message(const std::string& text, const std::string& caption,
                                  PromptButtons buttons, PromptIcon icon) {
  if (buttons == PromptButtons::Ok) {
    if (TPromptCollector* c = currentCollector()) {
      std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
      c->texts.push_back(text);
      return PromptAnswer::Ok;
    }
  }
  return service().message(text, caption, buttons, icon);
}

TPromptCall t_prompts() { return TPromptCall(); }

void t_info(const std::string& text, const std::string& caption) {
  t_prompts().message(text, caption, PromptButtons::Ok, PromptIcon::Information);
}

void t_warn(const std::string& text, const std::string& caption) {
  t_prompts().message(text, caption, PromptButtons::Ok, PromptIcon::Warning);
}

bool t_askOkCancel(const std::string& text, const std::string& caption) {
  return t_prompts().message(text, caption, PromptButtons::OkCancel, PromptIcon::Question) ==
         PromptAnswer::Ok;
}

bool t_askYesNo(const std::string& text, const std::string& caption) {
  return t_prompts().message(text, caption, PromptButtons::YesNo, PromptIcon::Question) ==
         PromptAnswer::Yes;
}

PromptAnswer t_askYesNoCancel(const std::string& text, const std::string& caption) {
  return t_prompts().message(text, caption, PromptButtons::YesNoCancel, PromptIcon::Question);
}
