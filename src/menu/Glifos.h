#pragma once

#include <QIcon>

// The small pictures of the panel's and the button dialog's push buttons, drawn at run time
// (16 x 16): they cost nothing at the program's start, which never shows them.
enum class Glifo { Incluir, Alterar, Excluir, Fechar };
QIcon IconeGlifo(Glifo glifo);
