#pragma once
class TModeRegistry;
// Registers the contour-mesh modes (one-step and two-step).
void t_registerContourModes(TModeRegistry& registry);
