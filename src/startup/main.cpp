#include "common/Aplicacao.h"

int main(int argc, char** argv) {
    Aplicacao app(argc, argv);
    return 0;
}
