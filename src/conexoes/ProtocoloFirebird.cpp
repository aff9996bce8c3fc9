#include "conexoes/ProtocoloFirebird.h"

#include <QtEndian>

namespace ProtocoloFirebird {

namespace {

constexpr quint32 kVersaoConexao = 3; // CONNECT_VERSION3: the strings in UTF-8
constexpr quint32 kArquiteturaGenerica = 1;
constexpr quint32 kTipoMaximo = 5;                // ptype_lazy_send
constexpr quint32 kBandeiraFirebird = 0xFFFF8000; // protocols from 11 on, sign-extended
constexpr quint32 kArgGds = 1;                    // isc_arg_gds: a status vector's first item
constexpr quint32 kFacilidadeErros = 0x14000000;  // every Firebird error code carries it

// Items of the user identification: tag, one length byte, the bytes.
constexpr char kLogin = 9;
constexpr char kPlugin = 8;
constexpr char kPlugins = 10;

void Palavra(QByteArray& b, quint32 valor) {
    char bytes[4];
    qToBigEndian(valor, bytes);
    b.append(bytes, 4);
}

void Texto(QByteArray& b, const QByteArray& texto) {
    Palavra(b, quint32(texto.size()));
    b += texto;
    b.append((4 - texto.size() % 4) % 4, '\0');
}

void Item(QByteArray& b, char tag, const QByteArray& valor) {
    b += tag;
    b += char(valor.size());
    b += valor;
}

quint32 PalavraEm(QByteArrayView b, qsizetype i) {
    return qFromBigEndian<quint32>(b.data() + i);
}

// The protocol of a version word, when it is one of those offered.
int ProtocoloDe(quint32 palavra) {
    if (palavra == quint32(kMenorProtocolo))
        return kMenorProtocolo;
    if ((palavra & kBandeiraFirebird) != kBandeiraFirebird)
        return 0;
    const int n = int(palavra & 0x7FFF);
    return n > kMenorProtocolo && n <= kMaiorProtocolo ? n : 0;
}

} // namespace

QByteArray PedidoConexao() {
    QByteArray usuario;
    Item(usuario, kLogin, "GERENCIADOR");
    Item(usuario, kPlugin, "Srp256");
    Item(usuario, kPlugins, "Srp256,Srp");
    QByteArray b;
    Palavra(b, op_connect);
    Palavra(b, op_attach);
    Palavra(b, kVersaoConexao);
    Palavra(b, kArquiteturaGenerica);
    Texto(b, {}); // no database named
    Palavra(b, kMaiorProtocolo - kMenorProtocolo + 1);
    Texto(b, usuario);
    for (int n = kMenorProtocolo; n <= kMaiorProtocolo; ++n) {
        Palavra(b, n == kMenorProtocolo ? quint32(n) : (kBandeiraFirebird | quint32(n)));
        Palavra(b, kArquiteturaGenerica);
        Palavra(b, 0); // lowest type
        Palavra(b, kTipoMaximo);
        Palavra(b, quint32(2 * (n - kMenorProtocolo + 1))); // the newest weighs most
    }
    return b;
}

QByteArray PedidoDesconexao() {
    QByteArray b;
    Palavra(b, op_disconnect);
    return b;
}

Resposta LeResposta(QByteArrayView bytes) {
    using Estado = Resposta::Estado;
    // What lies beyond the bound is never looked at: a decision stays as more bytes come.
    bytes = bytes.first(qMin(bytes.size(), kMaximoResposta));
    const auto decide = [&](qsizetype precisa, auto&& julga) -> Resposta {
        if (bytes.size() < precisa)
            return {bytes.size() >= kMaximoResposta ? Estado::Outra : Estado::Incompleta};
        return julga();
    };
    qsizetype i = 0;
    while (bytes.size() - i >= 4 && PalavraEm(bytes, i) == op_dummy)
        i += 4;
    return decide(i + 4, [&]() -> Resposta {
        const quint32 operacao = PalavraEm(bytes, i);
        switch (operacao) {
        case op_accept:
        case op_accept_data:
        case op_cond_accept:
            // Version, architecture and type (flags above its low byte).
            return decide(i + 16, [&]() -> Resposta {
                const int protocolo = ProtocoloDe(PalavraEm(bytes, i + 4));
                const quint32 tipo = PalavraEm(bytes, i + 12);
                if (protocolo == 0 || PalavraEm(bytes, i + 8) != kArquiteturaGenerica ||
                    tipo > 0xFFFF || (tipo & 0xFF) == 0 || (tipo & 0xFF) > kTipoMaximo)
                    return {Estado::Outra};
                return {Estado::Firebird, operacao, protocolo};
            });
        case op_reject:
            return {Estado::Firebird, operacao};
        case op_response:
            // Object, blob id (two words), data (counted), then the status vector: isc_arg_gds
            // and a Firebird error code, or 0 for none.
            return decide(i + 20, [&]() -> Resposta {
                const quint32 dados = PalavraEm(bytes, i + 16);
                if (PalavraEm(bytes, i + 4) > 0xFFFF || dados > quint32(kMaximoResposta))
                    return {Estado::Outra};
                const qsizetype status = i + 20 + ((qsizetype(dados) + 3) & ~qsizetype(3));
                return decide(status + 8, [&]() -> Resposta {
                    const quint32 codigo = PalavraEm(bytes, status + 4);
                    if (PalavraEm(bytes, status) != kArgGds ||
                        (codigo != 0 && (codigo & 0xFF000000) != kFacilidadeErros))
                        return {Estado::Outra};
                    return {Estado::Firebird, operacao};
                });
            });
        default:
            return {Estado::Outra};
        }
    });
}

QString Versao(int protocolo) {
    const char* versao = nullptr;
    switch (protocolo) {
    case 10:
        versao = "1.0";
        break;
    case 11:
        versao = "2.1";
        break;
    case 12:
        versao = "2.5";
        break;
    case 13:
    case 14:
    case 15:
        versao = "3.0";
        break;
    case 16:
    case 17:
        versao = "4.0";
        break;
    case 18:
        versao = "5.0";
        break;
    default:
        return {};
    }
    return QStringLiteral("Firebird %1 ou mais novo").arg(QLatin1String(versao));
}

QString DicaServidor(int protocolo, qint64 ms) {
    const QString versao = Versao(protocolo);
    return QStringLiteral("Servidor %1 (porta 3050) respondeu em %2 ms")
        .arg(versao.isEmpty() ? QStringLiteral("Firebird") : versao,
             ms > 0 ? QString::number(ms) : QStringLiteral("<1"));
}

} // namespace ProtocoloFirebird
