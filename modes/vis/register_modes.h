#pragma once
class TModeRegistry;
// Registers the visualisation modes (standard modes 0-3, organ cross-section).
void t_registerVisModes(TModeRegistry& registry);
