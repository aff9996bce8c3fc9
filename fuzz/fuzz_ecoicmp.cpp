// An ICMP reply as the socket hands it over: the first four bytes choose the identifier and the
// sequence that the request waits for, the rest is the datagram.
#include "conexoes/EcoIcmp.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    if (tamanho < 4)
        return 0;
    const auto identificador = std::uint16_t(dados[0] << 8 | dados[1]);
    const auto sequencia = std::uint16_t(dados[2] << 8 | dados[3]);
    try {
        const auto r = Icmp::AnalisaDatagrama(dados + 4, tamanho - 4, identificador, sequencia);
        // An answer is ours: it carries the sequence asked for and the size received.
        if (r && (r->sequencia != sequencia || r->bytesRecebidos != int(tamanho - 4)))
            std::abort();
    } catch (const Icmp::ErroIcmp&) {
    }
    return 0;
}
