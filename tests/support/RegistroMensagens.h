#pragma once

#include <QString>

// From here on, each message box is appended to `arquivo` as one line
// "caption<TAB>icon<TAB>text" in UTF-8 (backslash, CR, LF and TAB written as \\, \r, \n and \t,
// so that a line is always one box) and answered OK; none is shown. The test build of the
// program (GerenciadorTeste) does this when GERENCIADOR_REGISTRO_MENSAGENS names a file, so
// that tests running it as a process can read what it said.
void RegistraMensagensEm(const QString& arquivo);
