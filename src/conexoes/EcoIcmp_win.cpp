// Windows side of the ICMP echo client: IcmpSendEcho2 (iphlpapi), which needs no privileges.
// It builds the ICMP header itself (identifier and sequence of its own choosing); the data part
// of our request goes out as it is, and the reply record carries our counter.
#include "conexoes/EcoIcmp.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

#include <cstring>
#include <vector>

namespace Icmp {

namespace {

void IniciaWinsock() {
    static const int iniciado = [] {
        WSADATA dados;
        return WSAStartup(MAKEWORD(2, 2), &dados);
    }();
    (void)iniciado;
}

std::wstring Largo(const std::string& texto) {
    if (texto.empty())
        return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, texto.data(), static_cast<int>(texto.size()), nullptr, 0);
    std::wstring largo(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, texto.data(), static_cast<int>(texto.size()), largo.data(),
                            n);
    return largo;
}

std::string Estreito(const wchar_t* texto) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, texto, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string estreito(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, texto, -1, estreito.data(), n, nullptr, nullptr);
    estreito.resize(static_cast<std::size_t>(n - 1));
    return estreito;
}

// The IP helper's own text for its status codes (11000 and up), the system's message for the
// rest; always one line ending in a full stop.
std::string Descricao(DWORD numero) {
    std::string texto;
    if (numero >= IP_STATUS_BASE && numero <= IP_STATUS_BASE + 100) {
        wchar_t buffer[256];
        DWORD tamanho = static_cast<DWORD>(sizeof buffer / sizeof buffer[0]);
        if (GetIpErrorString(static_cast<IP_STATUS>(numero), buffer, &tamanho) == NO_ERROR)
            texto = Estreito(buffer);
    } else {
        wchar_t* buffer = nullptr;
        const DWORD n =
            FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, numero, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                           reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
        if (n != 0 && buffer != nullptr)
            texto = Estreito(buffer);
        if (buffer != nullptr)
            LocalFree(buffer);
    }
    while (!texto.empty() && (texto.back() == '\r' || texto.back() == '\n' || texto.back() == ' ' ||
                              texto.back() == '.'))
        texto.pop_back();
    if (texto.empty())
        texto = "Unknown error " + std::to_string(numero);
    return texto + '.';
}

[[noreturn]] void FalhaSocket(DWORD numero) {
    throw ErroIcmp(TextoErroSocket(static_cast<long>(numero), Descricao(numero)));
}

IN_ADDR Resolve(const std::string& host) {
    IniciaWinsock();
    if (host.find('\0') != std::string::npos)
        throw ErroResolucao(WSAHOST_NOT_FOUND);
    const std::wstring nome = Largo(host);
    ADDRINFOW dica{};
    dica.ai_family = AF_INET;
    dica.ai_socktype = SOCK_DGRAM;
    ADDRINFOW* lista = nullptr;
    const int r = GetAddrInfoW(nome.c_str(), nullptr, &dica, &lista);
    if (r == WSAHOST_NOT_FOUND || r == WSATRY_AGAIN || r == WSANO_RECOVERY || r == WSANO_DATA)
        throw ErroResolucao(r);
    if (r != 0 || lista == nullptr)
        FalhaSocket(static_cast<DWORD>(r != 0 ? r : WSAHOST_NOT_FOUND));
    const IN_ADDR endereco = reinterpret_cast<const sockaddr_in*>(lista->ai_addr)->sin_addr;
    FreeAddrInfoW(lista);
    return endereco;
}

std::string Pontuado(IPAddr endereco) {
    const auto* b = reinterpret_cast<const unsigned char*>(&endereco);
    return std::to_string(b[0]) + '.' + std::to_string(b[1]) + '.' + std::to_string(b[2]) + '.' +
           std::to_string(b[3]);
}

bool Inalcancavel(DWORD status) {
    return status == IP_DEST_NET_UNREACHABLE || status == IP_DEST_HOST_UNREACHABLE ||
           status == IP_DEST_PROT_UNREACHABLE || status == IP_DEST_PORT_UNREACHABLE;
}

bool TtlExpirou(DWORD status) {
    return status == IP_TTL_EXPIRED_TRANSIT || status == IP_TTL_EXPIRED_REASSEM;
}

class Manipulador {
public:
    Manipulador() : h(IcmpCreateFile()) {}
    ~Manipulador() {
        if (h != INVALID_HANDLE_VALUE)
            IcmpCloseHandle(h);
    }
    Manipulador(const Manipulador&) = delete;
    Manipulador& operator=(const Manipulador&) = delete;
    HANDLE h;
};

// Sizes as the datagram would have had them on the wire: a 20-byte IP header, the 8-byte ICMP
// header and the data; an ICMP error quotes our request's IP header and the request.
constexpr int kBytesResposta = 20 + 8;
constexpr int kBytesErro = 20 + 8 + 20 + static_cast<int>(kTamanhoPedido);

} // namespace

std::uint32_t TickMs() {
    return static_cast<std::uint32_t>(GetTickCount());
}

std::uint16_t IdentificadorProcesso() {
    return static_cast<std::uint16_t>(GetCurrentProcessId() & 0xFFFF);
}

void DefineModoSocket(ModoSocket) {}

RespostaEco EnviaEco(const std::string& host, std::uint16_t identificador, std::uint16_t sequencia,
                     int tempoLimiteMs) {
    auto pedido = MontaPedidoEco(identificador, sequencia, TickMs());
    const std::uint32_t inicio = TickMs();
    const IN_ADDR destino = Resolve(host);

    Manipulador icmp;
    if (icmp.h == INVALID_HANDLE_VALUE)
        FalhaSocket(GetLastError());
    std::vector<unsigned char> resposta(sizeof(ICMP_ECHO_REPLY) + kTamanhoPedido + 8 + 1024);
    const DWORD n = IcmpSendEcho2(icmp.h, nullptr, nullptr, nullptr, destino.S_un.S_addr,
                                  pedido.data() + 8, static_cast<WORD>(kTamanhoDadosPedido),
                                  nullptr, resposta.data(), static_cast<DWORD>(resposta.size()),
                                  static_cast<DWORD>(tempoLimiteMs > 0 ? tempoLimiteMs : 1));
    const DWORD erro = n == 0 ? GetLastError() : 0;

    RespostaEco r;
    r.sequencia = sequencia;
    if (n == 0) {
        if (Inalcancavel(erro) || TtlExpirou(erro)) {
            // No reply in the buffer: who said so is not known.
            r.enderecoOrigem = "0.0.0.0";
            r.tipoIcmp = Inalcancavel(erro) ? kTipoDestinoInalcancavel : kTipoTempoExcedido;
            r.status = Inalcancavel(erro) ? StatusEco::Inalcancavel : StatusEco::TtlExcedido;
        } else if (erro == IP_REQ_TIMED_OUT) {
            r.enderecoOrigem = "0.0.0.0";
            r.status = StatusEco::TempoEsgotado;
        } else {
            FalhaSocket(erro);
        }
    } else {
        ICMP_ECHO_REPLY eco;
        std::memcpy(&eco, resposta.data(), sizeof eco);
        if (eco.Status == IP_REQ_TIMED_OUT) {
            r.enderecoOrigem = "0.0.0.0";
            r.status = StatusEco::TempoEsgotado;
        } else {
            r.enderecoOrigem = Pontuado(eco.Address);
            r.ttl = eco.Options.Ttl;
            if (eco.Status == IP_SUCCESS) {
                r.bytesRecebidos = kBytesResposta + eco.DataSize;
                r.tipoIcmp = kTipoRespostaEco;
                r.status = StatusEco::Eco;
            } else if (Inalcancavel(eco.Status)) {
                r.bytesRecebidos = kBytesErro;
                r.tipoIcmp = kTipoDestinoInalcancavel;
                r.status = StatusEco::Inalcancavel;
            } else if (TtlExpirou(eco.Status)) {
                r.bytesRecebidos = kBytesErro;
                r.tipoIcmp = kTipoTempoExcedido;
                r.status = StatusEco::TtlExcedido;
            } else {
                FalhaSocket(eco.Status);
            }
        }
    }
    r.tempoIdaVolta = TickMs() - inicio;
    return r;
}

} // namespace Icmp
