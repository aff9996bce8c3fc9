#include "common/Aplicacao.h"
#include "startup/Inicio.h"

int main(int argc, char** argv) {
    // libcurl is not touched here: it is loaded, and its global state set up, by its first
    // user (the public IP lookup, on its own thread), once the window is on the screen.
    Aplicacao app(argc, argv);
    return ExecutaGerenciador();
}
