// The first answer of a host's Firebird port, as the network tree's probe reads it while it
// arrives: every prefix of the input. The answer is decided within its bound, a decision never
// changes as more bytes come, and a Firebird answer names one of the protocols offered.
#include "conexoes/ProtocoloFirebird.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    using namespace ProtocoloFirebird;
    const QByteArrayView bytes(reinterpret_cast<const char*>(dados), qsizetype(tamanho));
    Resposta decidida;
    for (qsizetype n = 0; n <= bytes.size() && n <= kMaximoResposta + 8; ++n) {
        const Resposta r = LeResposta(bytes.first(n));
        if (r.estado == Resposta::Estado::Incompleta) {
            if (n >= kMaximoResposta || decidida.estado != Resposta::Estado::Incompleta)
                std::abort();
            continue;
        }
        if (decidida.estado != Resposta::Estado::Incompleta &&
            (r.estado != decidida.estado || r.protocolo != decidida.protocolo ||
             r.operacao != decidida.operacao))
            std::abort();
        decidida = r;
        if (r.protocolo != 0 && (r.protocolo < kMenorProtocolo || r.protocolo > kMaiorProtocolo ||
                                 Versao(r.protocolo).isEmpty()))
            std::abort();
    }
    return 0;
}
