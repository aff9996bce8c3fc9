// The public-IP page as the server sends it: the address comes from its title, or from a page
// that is only the address.
#include "principal/ThIP.h"
#include "registro/Enderecos.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    const QByteArray corpo(reinterpret_cast<const char*>(dados), qsizetype(tamanho));
    const QString pagina = Th_IP::TextoDaPagina(corpo);
    const QString ip = Th_IP::IpDaPagina(pagina);
    if (ip == QStringLiteral("não encontrado!"))
        return 0;
    // Anything else is an address of the page's own text, digits and dots only.
    if (!ValidaIP(ip) || !pagina.contains(ip))
        std::abort();
    for (QChar c : ip)
        if (!c.isDigit() && c != u'.')
            std::abort();
    return 0;
}
