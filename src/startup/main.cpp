#include "common/Aplicacao.h"
#include "startup/Inicio.h"

#include <curl/curl.h>

int main(int argc, char** argv) {
    // libcurl's global state, once, before any thread of ours can use it.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    Aplicacao app(argc, argv);
    // No curl_global_cleanup: the program ends here, and a public IP lookup still under way
    // may be inside libcurl on its own thread.
    return ExecutaGerenciador();
}
