#pragma once

#include <QString>

// Addresses fixed when the program is built (CMake cache variables of the same names). A test
// build points them at 127.0.0.1; only this unit is compiled differently, so the build made
// for the package and the one made for the tests share everything else.
namespace Configuracao {
// GERENCIADOR_URL_MEU_IP: the page the public IP lookup asks.
QString UrlMeuIP();
// GERENCIADOR_SERVIDOR_SUPORTE and GERENCIADOR_PORTA_FTP: the maker's support server, whose
// FTP folders hold the support programs.
QString ServidorSuporte();
quint16 PortaFtp();
// GERENCIADOR_URL_SUPORTE: the support web site.
QString UrlSuporte();
// GERENCIADOR_URL_ATUALIZACAO: where the program's new executable is downloaded.
QString UrlAtualizacao();
} // namespace Configuracao
