#pragma once
class TModeRegistry;
// Registers the curve modes (curved cylinders, contour refinement).
void t_registerCurveModes(TModeRegistry& registry);
