#pragma once

#include <QtGlobal>

// The window system's own opening animation of a window that is about to show, unrolling it
// from its left edge to its right edge (Windows: AnimateWindow with AW_HOR_POSITIVE). False
// where the platform has none or refused, and the caller animates the window itself.
bool DesenrolaJanelaNativa(quintptr idJanela, int duracaoMs);
