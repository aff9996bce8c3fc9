#include "menu/Animacao.h"

bool DesenrolaJanelaNativa(quintptr, int) {
    return false;
}
