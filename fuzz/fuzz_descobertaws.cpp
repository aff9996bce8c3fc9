// A WS-Discovery datagram and a metadata answer: the same bytes go to both parsers.
#include "conexoes/DescobertaWs.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    const QByteArray bytes(reinterpret_cast<const char*>(dados), qsizetype(tamanho));
    LeMensagemDescoberta(bytes);
    // A computer always has a name and a group (WORKGROUP when the answer names none).
    if (const auto c = DescobertaWs::LeComputador(bytes);
        c && (c->nome.isEmpty() || c->grupo.isEmpty()))
        std::abort();
    return 0;
}
