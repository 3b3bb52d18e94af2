#pragma once
// The questions that pick mask-region ids: pick-many (which regions a segmentation may claim)
// and pick-one (under which id a result is stored).  The application installs a dialog-backed
// chooser; tests install a scripted one.  Without any, both questions count as cancelled.
#include <string>
#include <vector>

class TMaskIdChooser {
 public:
  virtual ~TMaskIdChooser() = default;
  // True with a 256-entry 0/1 selection when the user confirmed with at least one id chosen.
  virtual bool pickMany(const std::string& title, std::vector<unsigned char>& selection) = 0;
  // True with the chosen id (may be -1 when the user confirmed without choosing).
  virtual bool pickOne(const std::string& title, int& id) = 0;
};

void t_setMaskIdChooser(TMaskIdChooser* chooser);
TMaskIdChooser* t_maskIdChooser();

bool t_pickManyIds(const std::string& title, std::vector<unsigned char>& selection);
bool t_pickOneId(const std::string& title, int& id);
