#include "core/WinLvModel.h"

TWinLvModel& TWinLvModel::getInst() {
  static TWinLvModel model;
  return model;
}

void TWinLvModel::getMinValues(double out[3]) const {
  std::lock_guard<std::mutex> g(m_lock);
  for (int i = 0; i < 3; ++i) out[i] = m_min[i];
}

void TWinLvModel::getMaxValues(double out[3]) const {
  std::lock_guard<std::mutex> g(m_lock);
  for (int i = 0; i < 3; ++i) out[i] = m_max[i];
}

void TWinLvModel::setValues(const double minValues[3], const double maxValues[3]) {
  std::lock_guard<std::mutex> g(m_lock);
  for (int i = 0; i < 3; ++i) {
    m_min[i] = minValues[i];
    m_max[i] = maxValues[i];
  }
}
