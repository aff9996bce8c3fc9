#include "menu/Animacao.h"

#include <windows.h>

bool DesenrolaJanelaNativa(quintptr idJanela, int duracaoMs) {
    const HWND janela = reinterpret_cast<HWND>(idJanela);
    if (!IsWindow(janela))
        return false;
    return AnimateWindow(janela, DWORD(duracaoMs), AW_HOR_POSITIVE) != FALSE;
}
