#pragma once
class TModeRegistry;
// Registers the region modes (painting and lasso, region growing, seeded growing, graph cut).
void t_registerRegionModes(TModeRegistry& registry);
