// The two immediate-mode cube primitives, centred on the current origin, half size h.
#pragma once

void DrawWireCube(float h, float alpha);
void DrawShadowCube(float h, float alpha);
