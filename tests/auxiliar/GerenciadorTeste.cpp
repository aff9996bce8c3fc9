// The program as the tests run it as a process: the real start-up, with one difference. When
// GERENCIADOR_REGISTRO_MENSAGENS names a file, each message box is written there and answered
// OK instead of shown (see support/RegistroMensagens.h). The program that ships reads no such
// variable: a box answered OK behind the user's back could end it (the update question).
#include "common/Aplicacao.h"
#include "startup/Inicio.h"
#include "support/RegistroMensagens.h"

int main(int argc, char** argv) {
    Aplicacao app(argc, argv);
    const QString registro = qEnvironmentVariable("GERENCIADOR_REGISTRO_MENSAGENS");
    if (!registro.isEmpty())
        RegistraMensagensEm(registro);
    return ExecutaGerenciador();
}
