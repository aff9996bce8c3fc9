#include "registro/Enderecos.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

namespace Enderecos {

QString PrimeiroIPv4(const QString& nome) {
    const QByteArray bytes = nome.toUtf8();
    if (bytes.isEmpty() || bytes.contains('\0'))
        return {};
    addrinfo dica{};
    dica.ai_family = AF_INET;
    dica.ai_socktype = SOCK_STREAM;
    addrinfo* lista = nullptr;
    if (getaddrinfo(bytes.constData(), nullptr, &dica, &lista) != 0 || !lista)
        return {};
    QString r;
    for (const addrinfo* a = lista; a; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr) {
            const auto* sin = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
            const auto* b = reinterpret_cast<const unsigned char*>(&sin->sin_addr.s_addr);
            r = QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
            break;
        }
    }
    freeaddrinfo(lista);
    return r;
}

} // namespace Enderecos
