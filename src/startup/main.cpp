#include "common/Aplicacao.h"
#include "startup/Inicio.h"

#include <curl/curl.h>

int main(int argc, char** argv) {
    // libcurl's global state, once, before any thread of ours can use it.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int resultado = 0;
    {
        Aplicacao app(argc, argv);
        resultado = ExecutaGerenciador();
    }
    curl_global_cleanup();
    return resultado;
}
