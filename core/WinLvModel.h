#pragma once
// The value window [minimum, maximum] of each channel through which the float channel values
// become the 8-bit textures.  The window-level panel keeps it current; the modes and the 8-bit
// exports read it.  Before the panel publishes anything it holds [0, 255].
#include <mutex>

class TWinLvModel {
 public:
  static TWinLvModel& getInst();

  void getMinValues(double out[3]) const;
  void getMaxValues(double out[3]) const;
  void setValues(const double minValues[3], const double maxValues[3]);

 private:
  mutable std::mutex m_lock;  // exports may read it from a worker
  double m_min[3] = {0, 0, 0};
  double m_max[3] = {255, 255, 255};
};
