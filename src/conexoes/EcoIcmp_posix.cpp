// Linux side of the ICMP echo client: an ICMP datagram socket where the system allows one
// (net.ipv4.ping_group_range), else a raw socket (CAP_NET_RAW).
#include "conexoes/EcoIcmp.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <linux/errqueue.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace Icmp {

namespace {

std::atomic<ModoSocket> g_modo{ModoSocket::Automatico};

constexpr char kRemedios[] =
    " Sending ICMP echo needs either an ICMP datagram socket, allowed by the setting "
    "net.ipv4.ping_group_range (for example sysctl -w net.ipv4.ping_group_range=\"0 "
    "2147483647\"), or a raw socket, allowed by the CAP_NET_RAW capability (for example "
    "setcap cap_net_raw+ep on the program).";

std::string Descricao(int numero) {
    const char* d = strerrordesc_np(numero);
    if (d == nullptr)
        return "Unknown error " + std::to_string(numero) + '.';
    return std::string(d) + '.';
}

[[noreturn]] void FalhaSocket(int numero, const std::string& extra = {}) {
    throw ErroIcmp(TextoErroSocket(numero, Descricao(numero) + extra));
}

in_addr Resolve(const std::string& host) {
    in_addr endereco{};
    if (host.find('\0') != std::string::npos)
        throw ErroResolucao(11001);
    if (inet_pton(AF_INET, host.c_str(), &endereco) == 1)
        return endereco;
    addrinfo dica{};
    dica.ai_family = AF_INET;
    dica.ai_socktype = SOCK_DGRAM;
    addrinfo* lista = nullptr;
    const int r = getaddrinfo(host.c_str(), nullptr, &dica, &lista);
    if (r == EAI_SYSTEM)
        FalhaSocket(errno);
    if (r == EAI_MEMORY)
        throw std::bad_alloc();
    // No such name, no address of this family, or no name server within reach: to the user
    // all of these are a host that was not found.
    if (r != 0 || lista == nullptr)
        throw ErroResolucao(11001);
    endereco = reinterpret_cast<const sockaddr_in*>(lista->ai_addr)->sin_addr;
    freeaddrinfo(lista);
    return endereco;
}

class Socket {
public:
    Socket() = default;
    ~Socket() {
        if (fd >= 0)
            ::close(fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    int fd = -1;
    bool datagrama = false;
    std::uint16_t identificador = 0; // what the replies carry
};

// A datagram socket is bound to the identifier, since the kernel puts the bound port into the
// identifier field. When the port is taken, the kernel picks one.
bool AbreDatagrama(Socket& s, std::uint16_t identificador, int* erro) {
    s.fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (s.fd < 0) {
        *erro = errno;
        return false;
    }
    s.datagrama = true;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(identificador);
    if (::bind(s.fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        local.sin_port = 0;
        if (::bind(s.fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
            FalhaSocket(errno);
    }
    socklen_t tamanho = sizeof local;
    if (::getsockname(s.fd, reinterpret_cast<sockaddr*>(&local), &tamanho) != 0)
        FalhaSocket(errno);
    s.identificador = ntohs(local.sin_port);
    const int um = 1;
    if (::setsockopt(s.fd, IPPROTO_IP, IP_RECVTTL, &um, sizeof um) != 0 ||
        ::setsockopt(s.fd, IPPROTO_IP, IP_RECVERR, &um, sizeof um) != 0)
        FalhaSocket(errno);
    return true;
}

bool AbreBruto(Socket& s, std::uint16_t identificador, int* erro) {
    s.fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (s.fd < 0) {
        *erro = errno;
        return false;
    }
    s.identificador = identificador;
    return true;
}

void AbreSocket(Socket& s, std::uint16_t identificador) {
    const ModoSocket modo = g_modo.load();
    int erroDatagrama = 0;
    int erroBruto = 0;
    if (modo != ModoSocket::Bruto && AbreDatagrama(s, identificador, &erroDatagrama))
        return;
    if (modo != ModoSocket::Datagrama && AbreBruto(s, identificador, &erroBruto))
        return;
    const int erro = erroBruto != 0 ? erroBruto : erroDatagrama;
    FalhaSocket(erro, erro == EACCES || erro == EPERM ? kRemedios : "");
}

// A datagram socket hands over the ICMP message without its IP header: the reading goes
// through the same code as a raw socket's by putting a 20-byte header in front (source and
// TTL as the kernel reported them).
void CabecalhoIp(std::vector<std::uint8_t>& d, std::uint8_t ttl, in_addr origem, in_addr destino) {
    d.assign(20, 0);
    d[0] = 0x45;
    d[8] = ttl;
    d[9] = 1; // ICMP
    std::memcpy(d.data() + 12, &origem, 4);
    std::memcpy(d.data() + 16, &destino, 4);
}

std::uint8_t TtlDe(msghdr& msg) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
            int ttl = 0;
            std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
            return static_cast<std::uint8_t>(ttl);
        }
    }
    return 0;
}

struct Espera {
    const Socket& socket;
    in_addr destino;
    std::uint16_t sequencia;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(65536);
    std::vector<std::uint8_t> montado;
    bool ignorou = false;

    std::optional<RespostaEco> Analisa(const std::uint8_t* d, std::size_t n) {
        auto r = AnalisaDatagrama(d, n, socket.identificador, sequencia);
        if (!r)
            ignorou = true;
        return r;
    }

    std::optional<RespostaEco> LeBruto() {
        sockaddr_in origem{};
        socklen_t tamanho = sizeof origem;
        const ssize_t n = ::recvfrom(socket.fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&origem), &tamanho);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                return std::nullopt;
            FalhaSocket(errno);
        }
        return Analisa(buffer.data(), static_cast<std::size_t>(n));
    }

    std::optional<RespostaEco> LeDatagrama() {
        sockaddr_in origem{};
        alignas(cmsghdr) char controle[256];
        iovec iov{buffer.data(), buffer.size()};
        msghdr msg{};
        msg.msg_name = &origem;
        msg.msg_namelen = sizeof origem;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = controle;
        msg.msg_controllen = sizeof controle;
        const ssize_t n = ::recvmsg(socket.fd, &msg, MSG_DONTWAIT);
        if (n < 0) // an error reported by ICMP also waits in the error queue, read there
            return std::nullopt;
        CabecalhoIp(montado, TtlDe(msg), origem.sin_addr, destino);
        montado.insert(montado.end(), buffer.data(), buffer.data() + n);
        return Analisa(montado.data(), montado.size());
    }

    // An ICMP error about our request: the error queue gives the kind of message, who sent
    // it, its TTL, and our request as it was quoted. The datagram is put together again the
    // way it travelled: IP header, ICMP error header, the quoted IP header and request.
    std::optional<RespostaEco> LeFilaErros(bool* vazia) {
        alignas(cmsghdr) char controle[512];
        sockaddr_in alvo{};
        iovec iov{buffer.data(), buffer.size()};
        msghdr msg{};
        msg.msg_name = &alvo;
        msg.msg_namelen = sizeof alvo;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = controle;
        msg.msg_controllen = sizeof controle;
        const ssize_t n = ::recvmsg(socket.fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (n < 0) {
            *vazia = true;
            return std::nullopt;
        }
        *vazia = false;
        const sock_extended_err* erro = nullptr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR)
                erro = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
        }
        if (erro == nullptr || erro->ee_origin != SO_EE_ORIGIN_ICMP) {
            ignorou = true;
            return std::nullopt;
        }
        sockaddr_in quem{};
        std::memcpy(&quem, SO_EE_OFFENDER(erro), sizeof quem);
        CabecalhoIp(montado, TtlDe(msg), quem.sin_addr, destino);
        const std::uint8_t cabecalhoIcmp[8] = {erro->ee_type, erro->ee_code};
        montado.insert(montado.end(), cabecalhoIcmp, cabecalhoIcmp + 8);
        std::vector<std::uint8_t> citado;
        CabecalhoIp(citado, 64, in_addr{}, destino);
        montado.insert(montado.end(), citado.begin(), citado.end());
        montado.insert(montado.end(), buffer.data(), buffer.data() + n);
        return Analisa(montado.data(), montado.size());
    }

    std::optional<RespostaEco> Le(short eventos) {
        if (!socket.datagrama)
            return LeBruto();
        if (eventos & POLLERR) {
            bool vazia = false;
            auto r = LeFilaErros(&vazia);
            if (r)
                return r;
            if (vazia) { // only the pending socket error: clear it
                int pendente = 0;
                socklen_t tamanho = sizeof pendente;
                ::getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &pendente, &tamanho);
            }
        }
        if (eventos & POLLIN)
            return LeDatagrama();
        return std::nullopt;
    }
};

} // namespace

std::uint32_t TickMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(t.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(t.tv_nsec) / 1000000u);
}

std::uint16_t IdentificadorProcesso() {
    return static_cast<std::uint16_t>(::getpid() & 0xFFFF);
}

void DefineModoSocket(ModoSocket modo) {
    g_modo.store(modo);
}

RespostaEco EnviaEco(const std::string& host, std::uint16_t identificador, std::uint16_t sequencia,
                     int tempoLimiteMs) {
    const auto pedido = MontaPedidoEco(identificador, sequencia, TickMs());
    const std::uint32_t inicio = TickMs();
    const in_addr destino = Resolve(host);

    Socket s;
    AbreSocket(s, identificador);
    sockaddr_in para{};
    para.sin_family = AF_INET;
    para.sin_addr = destino;
    for (;;) {
        const ssize_t n = ::sendto(s.fd, pedido.data(), pedido.size(), 0,
                                   reinterpret_cast<const sockaddr*>(&para), sizeof para);
        if (n >= 0)
            break;
        if (errno != EINTR)
            FalhaSocket(errno);
    }

    using Relogio = std::chrono::steady_clock;
    const auto prazo = Relogio::now() + std::chrono::milliseconds(tempoLimiteMs);
    Espera espera{s, destino, sequencia};
    std::optional<RespostaEco> resposta;
    while (!resposta) {
        const auto falta = prazo - Relogio::now();
        if (falta <= Relogio::duration::zero())
            break;
        // Rounded up, so the wait never ends a little before the deadline.
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(falta).count();
        pollfd p{s.fd, POLLIN, 0};
        const int n = ::poll(&p, 1, static_cast<int>(ms));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            FalhaSocket(errno);
        }
        if (n == 0)
            continue; // the loop's test ends the wait at the deadline
        resposta = espera.Le(p.revents);
    }

    RespostaEco r;
    if (resposta) {
        r = *resposta;
    } else if (espera.ignorou) {
        // Only other datagrams came: the record stays as it was when the attempt began.
        r.enderecoOrigem.clear();
        r.sequencia = 0;
    } else {
        r.enderecoOrigem = "0.0.0.0";
        r.sequencia = sequencia;
    }
    r.tempoIdaVolta = TickMs() - inicio;
    return r;
}

} // namespace Icmp
