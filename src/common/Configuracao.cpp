#include "common/Configuracao.h"

namespace Configuracao {

QString UrlMeuIP() {
    return QStringLiteral(GERENCIADOR_URL_MEU_IP);
}

} // namespace Configuracao
