#pragma once
// Installs the region data of the running program (the volume holder's flag volume and mask,
// the mask-ID table) for the modes' region questions.
void t_installAppRegionData();
void t_uninstallAppRegionData();
