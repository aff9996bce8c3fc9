#include "conexoes/EcoIcmp.h"

#include <cstring>

namespace Icmp {

namespace {

constexpr std::size_t kCabecalhoIpMinimo = 20;
constexpr std::size_t kCabecalhoIcmp = 8;
constexpr std::uint8_t kProtocoloIcmp = 1;

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::string Pontuado(const std::uint8_t* p) {
    return std::to_string(p[0]) + '.' + std::to_string(p[1]) + '.' + std::to_string(p[2]) + '.' +
           std::to_string(p[3]);
}

// Length of an IP header from its first byte; 0 when the header is not IPv4 or shorter than
// the minimum.
std::size_t TamanhoCabecalhoIp(std::uint8_t primeiro) {
    if ((primeiro >> 4) != 4)
        return 0;
    const std::size_t tamanho = static_cast<std::size_t>(primeiro & 0x0F) * 4;
    return tamanho < kCabecalhoIpMinimo ? 0 : tamanho;
}

} // namespace

std::string TextoErroSocket(long numero, const std::string& descricao) {
    return "Socket Error # " + std::to_string(numero) + "\r\n" + descricao;
}

ErroIcmp ErroResolucao(long numeroWinsock) {
    const char* descricao = "Host not found.";
    switch (numeroWinsock) {
    case 11002:
        descricao = "Non-authoritative host not found.";
        break;
    case 11003:
        descricao = "This is a non-recoverable error.";
        break;
    case 11004:
        descricao = "Valid name, no data record of requested type.";
        break;
    default:
        numeroWinsock = 11001;
        break;
    }
    return ErroIcmp(TextoErroSocket(numeroWinsock, descricao));
}

std::uint16_t SomaVerificacao(const std::uint8_t* dados, std::size_t tamanho) {
    std::uint32_t soma = 0;
    std::size_t i = 0;
    for (; i + 1 < tamanho; i += 2)
        soma += Le16(dados + i);
    if (i < tamanho)
        soma += static_cast<std::uint32_t>(dados[i]) << 8;
    while (soma >> 16)
        soma = (soma & 0xFFFF) + (soma >> 16);
    return static_cast<std::uint16_t>(~soma & 0xFFFF);
}

std::array<std::uint8_t, kTamanhoPedido>
MontaPedidoEco(std::uint16_t identificador, std::uint16_t sequencia, std::uint32_t tick) {
    std::array<std::uint8_t, kTamanhoPedido> p{};
    p[0] = kTipoPedidoEco;
    p[1] = 0;
    p[4] = static_cast<std::uint8_t>(identificador >> 8);
    p[5] = static_cast<std::uint8_t>(identificador & 0xFF);
    p[6] = static_cast<std::uint8_t>(sequencia >> 8);
    p[7] = static_cast<std::uint8_t>(sequencia & 0xFF);
    std::memcpy(p.data() + 8, &tick, sizeof tick);
    // bytes 12..19 stay zero
    std::memset(p.data() + 20, 'E', 32);
    const std::uint16_t soma = SomaVerificacao(p.data(), p.size());
    p[2] = static_cast<std::uint8_t>(soma >> 8);
    p[3] = static_cast<std::uint8_t>(soma & 0xFF);
    return p;
}

std::optional<RespostaEco> AnalisaDatagrama(const std::uint8_t* dados, std::size_t tamanho,
                                            std::uint16_t identificador, std::uint16_t sequencia) {
    if (tamanho < kCabecalhoIpMinimo + kCabecalhoIcmp)
        throw ErroIcmp("Not enough bytes received");
    const std::size_t cabecalho = TamanhoCabecalhoIp(dados[0]);
    if (cabecalho == 0)
        return std::nullopt; // not an IPv4 datagram we can read: someone else's
    if (tamanho < cabecalho + kCabecalhoIcmp)
        throw ErroIcmp("Not enough bytes received");

    const std::uint8_t* icmp = dados + cabecalho;
    const std::size_t tamanhoIcmp = tamanho - cabecalho;
    RespostaEco r;
    r.bytesRecebidos = static_cast<int>(tamanho);
    r.enderecoOrigem = Pontuado(dados + 12);
    r.tipoIcmp = icmp[0];
    r.ttl = dados[8];
    r.sequencia = sequencia;
    r.tempoIdaVolta = 0;

    switch (icmp[0]) {
    case kTipoRespostaEco:
    case kTipoPedidoEco:
        if (Le16(icmp + 4) != identificador || Le16(icmp + 6) != sequencia)
            return std::nullopt;
        r.status = StatusEco::Eco;
        return r;
    case kTipoDestinoInalcancavel:
    case kTipoTempoExcedido: {
        // The message quotes the IP header of our request and at least 8 bytes after it.
        const std::uint8_t* citado = icmp + kCabecalhoIcmp;
        const std::size_t tamanhoCitado = tamanhoIcmp - kCabecalhoIcmp;
        if (tamanhoCitado < kCabecalhoIpMinimo)
            return std::nullopt;
        const std::size_t cabecalhoCitado = TamanhoCabecalhoIp(citado[0]);
        if (cabecalhoCitado == 0 || tamanhoCitado < cabecalhoCitado + kCabecalhoIcmp)
            return std::nullopt;
        if (citado[9] != kProtocoloIcmp)
            return std::nullopt;
        const std::uint8_t* pedido = citado + cabecalhoCitado;
        if (pedido[0] != kTipoPedidoEco || Le16(pedido + 4) != identificador ||
            Le16(pedido + 6) != sequencia)
            return std::nullopt;
        r.status =
            icmp[0] == kTipoDestinoInalcancavel ? StatusEco::Inalcancavel : StatusEco::TtlExcedido;
        return r;
    }
    default:
        throw ErroIcmp("Non-echo type response received");
    }
}

void ClienteEcoIcmp::Ping() {
    const RespostaEco r = EnviaEco(host, IdentificadorProcesso(), sequencia_, tempoLimiteMs);
    if (aoResponder)
        aoResponder(r);
    ++sequencia_;
}

} // namespace Icmp
