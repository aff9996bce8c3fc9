#include "conexoes/NavegadorRede.h"

std::unique_ptr<NavegadorRede> CriaNavegadorRede(QObject* pai) {
    return std::make_unique<NavegadorRede>(pai);
}
