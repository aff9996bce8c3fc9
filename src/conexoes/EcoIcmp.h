#pragma once

// ICMP echo client (RFC 792). The packet layout and the reading of replies live here, in plain
// C++ so the Windows and Linux transports (EcoIcmp_win.cpp, EcoIcmp_posix.cpp) share them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace Icmp {

constexpr std::size_t kTamanhoPedido = 52;      // ICMP header (8) + 44 data bytes
constexpr std::size_t kTamanhoDadosPedido = 44; // tick (4) + 8 zero bytes + 32 'E'
constexpr std::uint16_t kSequenciaInicial = 3489;
constexpr int kTempoLimitePadraoMs = 1000;

constexpr std::uint8_t kTipoRespostaEco = 0;
constexpr std::uint8_t kTipoDestinoInalcancavel = 3;
constexpr std::uint8_t kTipoPedidoEco = 8;
constexpr std::uint8_t kTipoTempoExcedido = 11;

enum class StatusEco { Eco, Erro, TempoEsgotado, Inalcancavel, TtlExcedido };

// What one attempt produced.
struct RespostaEco {
    int bytesRecebidos = 0;     // whole IP datagram, header included; 0 on a timeout
    std::string enderecoOrigem; // dotted source address; "0.0.0.0" on a timeout
    std::uint8_t tipoIcmp = 0;
    std::uint16_t sequencia = 0;
    std::uint32_t tempoIdaVolta = 0; // milliseconds
    std::uint8_t ttl = 0;
    StatusEco status = StatusEco::TempoEsgotado;
};

// A failure that ends a run: its text is what the user sees.
class ErroIcmp : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "Socket Error # <numero>\r\n<descricao>".
std::string TextoErroSocket(long numero, const std::string& descricao);
// The error for a name that does not resolve: Winsock's numbers (11001 "Host not found." ...)
// with their short descriptions.
ErroIcmp ErroResolucao(long numeroWinsock);

// The Internet checksum (RFC 1071) of the bytes: one's complement of the one's complement sum
// of the big-endian 16-bit words, an odd last byte padded with zero.
std::uint16_t SomaVerificacao(const std::uint8_t* dados, std::size_t tamanho);

// The 52-byte echo request: type 8, code 0, checksum, identifier, sequence (both big-endian),
// then the tick (host byte order, as the sending machine keeps it), 8 zero bytes and 32 'E'.
std::array<std::uint8_t, kTamanhoPedido>
MontaPedidoEco(std::uint16_t identificador, std::uint16_t sequencia, std::uint32_t tick);

// Reads one received IP datagram (IP header first) against the request that waits for an
// answer. Returns the reply's fields (round-trip time left at 0) when it answers the request:
// an echo reply or echo request (seen when the host is this machine) carrying our identifier
// and sequence, or a destination-unreachable / time-exceeded message quoting our request.
// Returns nothing for a datagram that belongs to someone else (to be skipped). Throws
// ErroIcmp "Not enough bytes received" for a datagram shorter than its IP header plus 8 bytes
// and "Non-echo type response received" for any other ICMP type. Never reads past tamanho.
std::optional<RespostaEco> AnalisaDatagrama(const std::uint8_t* dados, std::size_t tamanho,
                                            std::uint16_t identificador, std::uint16_t sequencia);

// Milliseconds of a 32-bit counter that wraps around (GetTickCount on Windows, the monotonic
// clock elsewhere).
std::uint32_t TickMs();
// Low 16 bits of the process identifier.
std::uint16_t IdentificadorProcesso();

// How the Linux transport reaches ICMP. Automatico tries an ICMP datagram socket, then a raw
// socket. Tests force one of them; Windows ignores the choice.
enum class ModoSocket { Automatico, Datagrama, Bruto };
void DefineModoSocket(ModoSocket modo);

// One echo attempt as the platform performs it: resolves the host, sends the request with the
// given identifier and sequence, waits up to tempoLimiteMs (one deadline for the attempt) and
// returns the reply or the timeout record. Throws ErroIcmp on failures.
RespostaEco EnviaEco(const std::string& host, std::uint16_t identificador, std::uint16_t sequencia,
                     int tempoLimiteMs);

// The echo client a form holds: host, receive timeout, reply handler and the sequence counter
// that lives as long as the client.
class ClienteEcoIcmp {
public:
    std::string host;
    int tempoLimiteMs = kTempoLimitePadraoMs;
    std::function<void(const RespostaEco&)> aoResponder;

    std::uint16_t Sequencia() const { return sequencia_; }
    void DefineSequencia(std::uint16_t sequencia) { sequencia_ = sequencia; }

    // One attempt: hands the record to aoResponder, then moves the counter on (timeouts too;
    // 65535 is followed by 0). On an error the handler is not called and the counter stays.
    void Ping();

private:
    std::uint16_t sequencia_ = kSequenciaInicial;
};

} // namespace Icmp
