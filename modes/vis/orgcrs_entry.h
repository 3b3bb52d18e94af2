#pragma once
// The entry questions of the organ cross-section mode, without a window: refused while another
// mode's worker runs, then the four id sets asked in turn and the organ checked in the mask.
#include <cstddef>
#include <cstdint>

#include "modes/vis/organ_sections.h"

enum class TOrgCrsEntry { Ready, Busy, Cancelled, EmptyOrgan };

// Ready: ids hold the answers (an unanswered highlight or vessel question leaves its set empty).
// Busy: the busy text was shown.  Cancelled: the organ or tumour question was refused.
// EmptyOrgan: no voxel of the mask carries an organ id ("臓器領域が空です" was shown).
TOrgCrsEntry t_askOrganIds(const uint8_t* mask, std::size_t n, TOrganIds& ids);
