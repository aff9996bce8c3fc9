// Building echo requests and reading what comes back, without a network: every datagram here
// is laid out byte by byte, and each is handed over in a buffer of exactly its size so that
// AddressSanitizer catches any read past its end.
#include "conexoes/EcoIcmp.h"
#include "conexoes/TesteConexao.h"

#include <QTest>
#include <cstring>
#include <memory>

using namespace Icmp;

namespace {

constexpr std::uint16_t kId = 0x1234;
constexpr std::uint16_t kSeq = 3489;

QByteArray Bytes(std::initializer_list<int> valores) {
    QByteArray b;
    for (int v : valores)
        b.append(static_cast<char>(v));
    return b;
}

// An IPv4 header of ihl 32-bit words (options filled with NOP), source 198.51.100.9.
QByteArray CabecalhoIp(int ihl, int ttl = 57, int protocolo = 1, int versao = 4) {
    QByteArray h(ihl * 4 < 20 ? 20 : ihl * 4, '\x01');
    h[0] = static_cast<char>((versao << 4) | ihl);
    h[1] = 0;
    for (int i = 2; i < 20; ++i)
        h[i] = 0;
    h[8] = static_cast<char>(ttl);
    h[9] = static_cast<char>(protocolo);
    h[12] = char(198);
    h[13] = char(51);
    h[14] = char(100);
    h[15] = char(9);
    return h;
}

QByteArray Eco(int tipo, std::uint16_t id, std::uint16_t seq) {
    const auto p = MontaPedidoEco(id, seq, 0x01020304);
    QByteArray b(reinterpret_cast<const char*>(p.data()), static_cast<qsizetype>(p.size()));
    b[0] = static_cast<char>(tipo);
    return b;
}

// An ICMP error quoting an IP header of ihlCitado words and then `citado` bytes.
QByteArray ErroIcmpCitando(int tipo, int ihlCitado, const QByteArray& citado,
                           int protocoloCitado = 1) {
    return Bytes({tipo, 1, 0, 0, 0, 0, 0, 0}) + CabecalhoIp(ihlCitado, 64, protocoloCitado) +
           citado;
}

} // namespace

class TstEcoIcmp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void somaVerificacao_data() {
        QTest::addColumn<QByteArray>("dados");
        QTest::addColumn<int>("esperado");
        QTest::newRow("RFC 1071") << Bytes({0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7})
                                  << 0x220d;
        QTest::newRow("cabeçalho IPv4")
            << Bytes({0x45, 0, 0,    0x73, 0, 0, 0x40, 0,    0x40, 0x11,
                      0,    0, 0xc0, 0xa8, 0, 1, 0xc0, 0xa8, 0,    0xc7})
            << 0xb861;
        QTest::newRow("comprimento ímpar") << Bytes({0x01}) << 0xfeff;
        QTest::newRow("ímpar com vai-um") << Bytes({0xff, 0xff, 0xff}) << 0x00ff;
        QTest::newRow("vazio") << QByteArray() << 0xffff;
        QTest::newRow("só uns") << Bytes({0xff, 0xff, 0xff, 0xff}) << 0x0000;
    }
    void somaVerificacao() {
        QFETCH(QByteArray, dados);
        QFETCH(int, esperado);
        std::unique_ptr<std::uint8_t[]> exato(new std::uint8_t[dados.size() + 0]);
        std::memcpy(exato.get(), dados.constData(), static_cast<std::size_t>(dados.size()));
        QCOMPARE(int(SomaVerificacao(exato.get(), static_cast<std::size_t>(dados.size()))),
                 esperado);
    }

    void pedidoEco() {
        const auto p = MontaPedidoEco(0xABCD, 3489, 0x11223344);
        QCOMPARE(p.size(), std::size_t(52));
        const QByteArray b(reinterpret_cast<const char*>(p.data()), 52);
        QCOMPARE(b.left(8), Bytes({8, 0, 0x83, 0xf8, 0xAB, 0xCD, 0x0D, 0xA1}));
        std::uint32_t tick = 0;
        std::memcpy(&tick, p.data() + 8, 4);
        QCOMPARE(tick, 0x11223344u);
        QCOMPARE(b.mid(12, 8), QByteArray(8, '\0'));
        QCOMPARE(b.mid(20), QByteArray(32, 'E'));
        QCOMPARE(int(SomaVerificacao(p.data(), p.size())), 0); // a correct packet sums to zero
    }

    void analisa_data() {
        QTest::addColumn<QByteArray>("datagrama");
        QTest::addColumn<int>("sequencia");
        QTest::addColumn<QString>("resultado"); // eco, inalcancavel, ttl, ignora, or the error
        QTest::addColumn<int>("tipo");

        const QByteArray ip = CabecalhoIp(5);
        QTest::newRow("resposta") << ip + Eco(0, kId, kSeq) << int(kSeq) << "eco" << 0;
        QTest::newRow("pedido visto na própria máquina")
            << ip + Eco(8, kId, kSeq) << int(kSeq) << "eco" << 8;
        QTest::newRow("outra sequência")
            << ip + Eco(0, kId, kSeq + 1) << int(kSeq) << "ignora" << 0;
        QTest::newRow("outro identificador")
            << ip + Eco(0, kId + 1, kSeq) << int(kSeq) << "ignora" << 0;
        QTest::newRow("IP com opções")
            << CabecalhoIp(6) + Eco(0, kId, kSeq) << int(kSeq) << "eco" << 0;
        QTest::newRow("IP com 40 bytes de opções")
            << CabecalhoIp(15) + Eco(0, kId, kSeq) << int(kSeq) << "eco" << 0;
        QTest::newRow("inalcançável")
            << ip + ErroIcmpCitando(3, 5, Eco(8, kId, kSeq)) << int(kSeq) << "inalcancavel" << 3;
        QTest::newRow("tempo excedido, citação com opções e só 8 bytes")
            << CabecalhoIp(7) + ErroIcmpCitando(11, 8, Eco(8, kId, kSeq).left(8)) << int(kSeq)
            << "ttl" << 11;
        QTest::newRow("inalcançável de outro pedido")
            << ip + ErroIcmpCitando(3, 5, Eco(8, kId, kSeq - 1)) << int(kSeq) << "ignora" << 0;
        QTest::newRow("inalcançável de outro programa")
            << ip + ErroIcmpCitando(3, 5, Eco(8, kId ^ 0xFF, kSeq)) << int(kSeq) << "ignora" << 0;
        QTest::newRow("inalcançável de UDP")
            << ip + ErroIcmpCitando(3, 5, Eco(8, kId, kSeq), 17) << int(kSeq) << "ignora" << 0;
        QTest::newRow("citação de resposta, não de pedido")
            << ip + ErroIcmpCitando(3, 5, Eco(0, kId, kSeq)) << int(kSeq) << "ignora" << 0;
        QTest::newRow("citação truncada no ICMP")
            << ip + ErroIcmpCitando(3, 5, Eco(8, kId, kSeq).left(7)) << int(kSeq) << "ignora" << 0;
        QTest::newRow("citação com IHL além do fim")
            << ip + ErroIcmpCitando(3, 15, Eco(8, kId, kSeq).left(8)).left(8 + 20 + 8) << int(kSeq)
            << "ignora" << 0;
        QTest::newRow("citação sem cabeçalho IP inteiro")
            << ip + Bytes({3, 1, 0, 0, 0, 0, 0, 0, 0x45, 0, 0}) << int(kSeq) << "ignora" << 0;
        QTest::newRow("erro sem citação")
            << ip + Bytes({3, 1, 0, 0, 0, 0, 0, 0}) << int(kSeq) << "ignora" << 0;
        QTest::newRow("IHL menor que 5")
            << CabecalhoIp(4) + Eco(0, kId, kSeq) << int(kSeq) << "ignora" << 0;
        QTest::newRow("IPv6") << CabecalhoIp(5, 57, 1, 6) + Eco(0, kId, kSeq) << int(kSeq)
                              << "ignora" << 0;
        QTest::newRow("vazio") << QByteArray() << int(kSeq) << "Not enough bytes received" << 0;
        QTest::newRow("um byte") << Bytes({0x45}) << int(kSeq) << "Not enough bytes received" << 0;
        QTest::newRow("só o cabeçalho IP") << ip << int(kSeq) << "Not enough bytes received" << 0;
        QTest::newRow("ICMP de 7 bytes")
            << ip + Eco(0, kId, kSeq).left(7) << int(kSeq) << "Not enough bytes received" << 0;
        QTest::newRow("opções engolem o ICMP") << (CabecalhoIp(15) + Eco(0, kId, kSeq)).left(64)
                                               << int(kSeq) << "Not enough bytes received" << 0;
        QTest::newRow("redirecionamento")
            << ip + Eco(5, kId, kSeq) << int(kSeq) << "Non-echo type response received" << 0;
        QTest::newRow("carimbo de tempo")
            << ip + Eco(13, kId, kSeq) << int(kSeq) << "Non-echo type response received" << 0;
        QTest::newRow("sequência 0 depois da volta") << ip + Eco(0, kId, 0) << 0 << "eco" << 0;
        QTest::newRow("65535 esperando 0") << ip + Eco(0, kId, 65535) << 0 << "ignora" << 0;
    }
    void analisa() {
        QFETCH(QByteArray, datagrama);
        QFETCH(int, sequencia);
        QFETCH(QString, resultado);
        QFETCH(int, tipo);

        const auto n = static_cast<std::size_t>(datagrama.size());
        std::unique_ptr<std::uint8_t[]> exato(new std::uint8_t[n + 0]);
        if (n > 0)
            std::memcpy(exato.get(), datagrama.constData(), n);

        std::optional<RespostaEco> r;
        QString erro;
        try {
            r = AnalisaDatagrama(exato.get(), n, kId, static_cast<std::uint16_t>(sequencia));
        } catch (const ErroIcmp& e) {
            erro = QString::fromUtf8(e.what());
        }
        if (resultado == u"ignora") {
            QVERIFY(erro.isEmpty());
            QVERIFY(!r);
            return;
        }
        if (!resultado.startsWith(u"eco") && resultado != u"inalcancavel" && resultado != u"ttl") {
            QCOMPARE(erro, resultado);
            return;
        }
        QVERIFY2(erro.isEmpty(), qPrintable(erro));
        QVERIFY(r);
        const StatusEco status = resultado == u"eco"            ? StatusEco::Eco
                                 : resultado == u"inalcancavel" ? StatusEco::Inalcancavel
                                                                : StatusEco::TtlExcedido;
        QCOMPARE(r->status, status);
        QCOMPARE(r->bytesRecebidos, int(n));
        QCOMPARE(QString::fromStdString(r->enderecoOrigem), QStringLiteral("198.51.100.9"));
        QCOMPARE(int(r->tipoIcmp), tipo);
        QCOMPARE(int(r->sequencia), sequencia);
        QCOMPARE(int(r->ttl), 57);
    }

    void linha_data() {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QString>("origem");
        QTest::addColumn<int>("sequencia");
        QTest::addColumn<int>("ttl");
        QTest::addColumn<uint>("tempo");
        QTest::addColumn<QString>("linha");
        QTest::addColumn<int>("status");
        QTest::newRow("mesmo tick")
            << 72 << "127.0.0.1" << 3489 << 64 << 0u
            << "72 bytes from 127.0.0.1: icmp_seq=3489 ttl=64 time<1 ms" << int(StatusEco::Eco);
        // A gateway's answer keeps the numbers a technician knows, and says what it is.
        QTest::newRow("inalcançável")
            << 100 << "21.4.0.169" << 3489 << 63 << 10u
            << u"100 bytes from 21.4.0.169: icmp_seq=3489 ttl=63 time=10 ms (destino inalcançável)"_qs
            << int(StatusEco::Inalcancavel);
        QTest::newRow("TTL excedido")
            << 100 << "198.51.100.1" << 3490 << 64 << 0u
            << u"100 bytes from 198.51.100.1: icmp_seq=3490 ttl=64 time<1 ms (tempo de vida esgotado)"_qs
            << int(StatusEco::TtlExcedido);
        QTest::newRow("15 ms") << 72 << "10.1.2.3" << 3490 << 128 << 15u
                               << "72 bytes from 10.1.2.3: icmp_seq=3490 ttl=128 time=15 ms"
                               << int(StatusEco::Eco);
        QTest::newRow("1 ms") << 72 << "10.1.2.3" << 3490 << 128 << 1u
                              << "72 bytes from 10.1.2.3: icmp_seq=3490 ttl=128 time=1 ms"
                              << int(StatusEco::Eco);
        QTest::newRow("tempo esgotado") << 0 << "0.0.0.0" << 3492 << 0 << 1000u
                                        << "0 bytes from 0.0.0.0: icmp_seq=3492 ttl=0 time=1000 ms"
                                        << int(StatusEco::TempoEsgotado);
        QTest::newRow("só datagramas de outros")
            << 0 << "" << 0 << 0 << 1001u << "0 bytes from : icmp_seq=0 ttl=0 time=1001 ms"
            << int(StatusEco::TempoEsgotado);
        QTest::newRow("extremos") << 65535 << "255.255.255.255" << 65535 << 255 << 4294967295u
                                  << "65535 bytes from 255.255.255.255: icmp_seq=65535 ttl=255 "
                                     "time=4294967295 ms"
                                  << int(StatusEco::Eco);
    }
    void linha() {
        QFETCH(int, bytes);
        QFETCH(QString, origem);
        QFETCH(int, sequencia);
        QFETCH(int, ttl);
        QFETCH(uint, tempo);
        QFETCH(QString, linha);
        RespostaEco r;
        QFETCH(int, status);
        r.status = static_cast<StatusEco>(status);
        r.bytesRecebidos = bytes;
        r.enderecoOrigem = origem.toStdString();
        r.sequencia = static_cast<std::uint16_t>(sequencia);
        r.ttl = static_cast<std::uint8_t>(ttl);
        r.tempoIdaVolta = tempo;
        QCOMPARE(FormataLinhaResposta(r), linha);
    }

    void erroResolucao_data() {
        QTest::addColumn<int>("numero");
        QTest::addColumn<QString>("texto");
        QTest::newRow("não encontrado") << 11001 << "Socket Error # 11001\r\nHost not found.";
        QTest::newRow("servidor de nomes") << 11002
                                           << "Socket Error # 11002\r\nNon-authoritative host "
                                              "not found.";
        QTest::newRow("sem dados") << 11004
                                   << "Socket Error # 11004\r\nValid name, no data record of "
                                      "requested type.";
        QTest::newRow("outro número vira 11001") << 0 << "Socket Error # 11001\r\nHost not found.";
    }
    void erroResolucao() {
        QFETCH(int, numero);
        QFETCH(QString, texto);
        QCOMPARE(QString::fromUtf8(ErroResolucao(numero).what()), texto);
    }
};

QTEST_MAIN(TstEcoIcmp)
#include "tst_ecoicmp.moc"
