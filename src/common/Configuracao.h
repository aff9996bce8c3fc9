#pragma once

#include <QString>

// Addresses fixed when the program is built (CMake cache variables of the same names). A test
// build points them at 127.0.0.1; only this unit is compiled differently, so the build made
// for the package and the one made for the tests share everything else.
namespace Configuracao {
// GERENCIADOR_URL_MEU_IP: the page the public IP lookup asks.
QString UrlMeuIP();
} // namespace Configuracao
