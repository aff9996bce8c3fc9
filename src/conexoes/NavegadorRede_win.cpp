#include "conexoes/NavegadorRede.h"

std::unique_ptr<NavegadorRede> CriaNavegadorRedePlataforma(QObject* pai) {
    return std::make_unique<NavegadorRede>(pai);
}
