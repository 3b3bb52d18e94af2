#include "core/lifetime.h"

#include <utility>
#include <vector>

namespace {
std::vector<std::function<void()>>& pending() {
  static std::vector<std::function<void()>> list;
  return list;
}
}  // namespace

void t_atExit(std::function<void()> release) {
  if (release) pending().push_back(std::move(release));
}

void t_runAtExit() {
  std::vector<std::function<void()>> list;
  list.swap(pending());
  for (auto it = list.rbegin(); it != list.rend(); ++it) (*it)();
}
