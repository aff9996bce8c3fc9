#include "registro/Enderecos.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace Enderecos {

namespace {
// Winsock must be started once per process before any resolver call; it stays up for the
// rest of the run.
void IniciaWinsock() {
    static const bool iniciado = [] {
        WSADATA dados;
        return WSAStartup(MAKEWORD(2, 0), &dados) == 0;
    }();
    (void)iniciado;
}
} // namespace

QString PrimeiroIPv4(const QString& nome) {
    IniciaWinsock();
    const std::wstring largo = nome.toStdWString();
    if (largo.empty() || largo.find(L'\0') != std::wstring::npos)
        return {};
    ADDRINFOW dica{};
    dica.ai_family = AF_INET;
    dica.ai_socktype = SOCK_STREAM;
    ADDRINFOW* lista = nullptr;
    if (GetAddrInfoW(largo.c_str(), nullptr, &dica, &lista) != 0 || !lista)
        return {};
    QString r;
    for (const ADDRINFOW* a = lista; a; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr) {
            const auto* sin = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
            const auto* b = reinterpret_cast<const unsigned char*>(&sin->sin_addr.s_addr);
            r = QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
            break;
        }
    }
    FreeAddrInfoW(lista);
    return r;
}

} // namespace Enderecos
