#include "common/Configuracao.h"

namespace Configuracao {

QString UrlMeuIP() {
    return QStringLiteral(GERENCIADOR_URL_MEU_IP);
}

QString ServidorSuporte() {
    return QStringLiteral(GERENCIADOR_SERVIDOR_SUPORTE);
}

quint16 PortaFtp() {
    return quint16(GERENCIADOR_PORTA_FTP);
}

QString UrlSuporte() {
    return QStringLiteral(GERENCIADOR_URL_SUPORTE);
}

QString UrlAtualizacao() {
    return QStringLiteral(GERENCIADOR_URL_ATUALIZACAO);
}

} // namespace Configuracao
