#include "platform/ScriptedPrompts.h"

PromptAnswer TScriptedPrompts::message(const std::string& text, const std::string& caption,
                                       PromptButtons buttons, PromptIcon) {
  std::lock_guard<std::mutex> lock(m_mutex);
  shown.push_back({"message", text, caption, {}});
  if (!answers.empty()) {
    PromptAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  switch (buttons) {
    case PromptButtons::Ok: return PromptAnswer::Ok;
    case PromptButtons::OkCancel: return PromptAnswer::Cancel;
    case PromptButtons::YesNo: return PromptAnswer::No;
    case PromptButtons::YesNoCancel: return PromptAnswer::Cancel;
  }
  return PromptAnswer::Cancel;
}

int TScriptedPrompts::choose(const std::string& text, const std::string& caption,
                             const std::vector<std::string>& buttonTexts) {
  std::lock_guard<std::mutex> lock(m_mutex);
  shown.push_back({"choose", text, caption, buttonTexts});
  if (choices.empty()) return -1;
  int c = choices.front();
  choices.pop_front();
  return c;
}

std::vector<std::string> TScriptedPrompts::openFiles(const std::string& caption,
                                                     const std::string& filter, bool) {
  std::lock_guard<std::mutex> lock(m_mutex);
  shown.push_back({"open", filter, caption, {}});
  if (openResults.empty()) return {};
  auto r = openResults.front();
  openResults.pop_front();
  return r;
}

std::string TScriptedPrompts::saveFile(const std::string& caption, const std::string& filter,
                                       const std::string&) {
  std::lock_guard<std::mutex> lock(m_mutex);
  shown.push_back({"save", filter, caption, {}});
  if (saveResults.empty()) return {};
  auto r = saveResults.front();
  saveResults.pop_front();
  return r;
}

bool TScriptedPrompts::chooseColor(unsigned char rgb[3]) {
  std::lock_guard<std::mutex> lock(m_mutex);
  shown.push_back({"color", "", "", {}});
  if (colors.empty() || colors.front().size() < 3) return false;
  for (int i = 0; i < 3; ++i) rgb[i] = colors.front()[i];
  colors.pop_front();
  return true;
}

std::vector<std::string> TScriptedPrompts::texts() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<std::string> r;
  for (const auto& s : shown)
    if (s.kind == "message" || s.kind == "choose") r.push_back(s.text);
  return r;
}

bool TScriptedPrompts::sawText(const std::string& text) const {
  for (const auto& t : texts())
    if (t == text) return true;
  return false;
}
