#include "modes/vis/orgcrs_entry.h"

#include "core/MaskIdChooser.h"
#include "core/TCore.h"
#include "platform/Prompt.h"

namespace {

bool askMany(const char* title, std::vector<unsigned char>& ids) {
  std::vector<unsigned char> sel;
  ids.assign(256, 0);
  if (!t_pickManyIds(title, sel) || sel.size() < 256) return false;
  ids = sel;
  ids.resize(256);
  return true;
}

}  // namespace

TOrgCrsEntry t_askOrganIds(const uint8_t* mask, std::size_t n, TOrganIds& ids) {
  ids = TOrganIds();
  // The mode rewrites the working flag volume that a running worker may read.
  if (TCore::getInst().refuseWhileBusy()) return TOrgCrsEntry::Busy;
  if (!askMany("臓器領域1を選択してください(複数可)", ids.organ)) return TOrgCrsEntry::Cancelled;
  askMany("臓器領域2(highlighする部分)を指定して下さい(複数可/無ければキャンセル)", ids.highlight);
  askMany("血管領域を指定してください(複数可/無ければキャンセル)", ids.vessel);
  if (!askMany("腫瘍領域を指定してください(複数可)", ids.tumour)) return TOrgCrsEntry::Cancelled;
  if (!t_maskCarriesIds(mask, n, ids.organ)) {
    t_info("臓器領域が空です");
    return TOrgCrsEntry::EmptyOrgan;
  }
  return TOrgCrsEntry::Ready;
}
