// The Firebird mark and the database search on their own: the first answer of Firebird's
// protocol (a table, also run under Wine), the probe against real listeners and the test
// Firebird server on 127.0.0.1, the paths the search asks, and the search through its relay
// against the test server and against hosts that take the connection and then say nothing.
#include "common/ClienteFirebird.h"
#include "conexoes/ProcuraBanco.h"
#include "conexoes/ProtocoloFirebird.h"
#include "conexoes/SondaFirebird.h"
#include "support/ServidorFirebird.h"

#include <QLibrary>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <memory>

using Estado = ProtocoloFirebird::Resposta::Estado;
Q_DECLARE_METATYPE(Estado)
Q_DECLARE_METATYPE(CausaBanco)

namespace {

// A listener on 127.0.0.1 that answers each connection with `resposta`, one byte at a time
// when `aosPedacos`, and keeps what it receives and how many connections it held at once.
class Ouvinte : public QObject {
public:
    explicit Ouvinte(QByteArray resposta = {}, bool aosPedacos = false)
        : resposta_(std::move(resposta)), aosPedacos_(aosPedacos) {
        servidor_.listen(QHostAddress::LocalHost, 0);
        connect(&servidor_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = servidor_.nextPendingConnection()) {
                ++conexoes;
                ++abertas_;
                maximo = qMax(maximo, abertas_);
                connect(s, &QTcpSocket::readyRead, this, [this, s] { recebido += s->readAll(); });
                connect(s, &QTcpSocket::disconnected, this, [this, s] {
                    --abertas_;
                    s->deleteLater();
                });
                if (!aosPedacos_)
                    s->write(resposta_);
                else
                    for (const char c : std::as_const(resposta_)) {
                        s->write(&c, 1);
                        s->flush();
                    }
            }
        });
    }
    quint16 Porta() const { return servidor_.serverPort(); }

    QByteArray recebido;
    int conexoes = 0;
    int maximo = 0;

private:
    QTcpServer servidor_;
    const QByteArray resposta_;
    const bool aosPedacos_;
    int abertas_ = 0;
};

// A port of 127.0.0.1 where nothing listens.
quint16 PortaFechada() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

bool ServidorDeTestes(QString* motivo) {
    return ServidorFirebird::Disponivel(motivo);
}

bool ClienteInstalado() {
    return CarregaClienteFirebird(NomeBibliotecaClienteFirebird()) != nullptr;
}

// The test server's answer to the probe's op_connect (op_cond_accept, protocol 15, plugin Srp).
const QByteArray kFirebird3 =
    QByteArray::fromHex("00000062ffff800f00000001000000050000000000000003537270000000000000000000");
const QByteArray kAceita13 = QByteArray::fromHex("00000003ffff800d0000000100000005");
const QByteArray kRecusaLogin =
    QByteArray::fromHex("0000000900000000000000000000000000000000000000011400009800000000");

} // namespace

class TstProcuraBanco : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The first answer, read as it arrives: only a Firebird server's answers mark the
    // machine, and an answer is decided within its bound whatever is sent.
    void resposta_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Estado>("estado");
        QTest::addColumn<int>("protocolo");
        const auto hex = [](const char* h) { return QByteArray::fromHex(h); };
        QTest::newRow("Firebird 3: op_cond_accept") << kFirebird3 << Estado::Firebird << 15;
        QTest::newRow("op_accept, protocolo 10")
            << hex("000000030000000a0000000100000005") << Estado::Firebird << 10;
        QTest::newRow("op_reject") << hex("00000004") << Estado::Firebird << 0;
        QTest::newRow("op_response com erro do Firebird") << kRecusaLogin << Estado::Firebird << 0;
        QTest::newRow("op_response com outro código")
            << hex("0000000900000000000000000000000000000000000000010000000500000000")
            << Estado::Outra << 0;
        QTest::newRow("13 sem o sinal")
            << hex("000000030000000d0000000100000005") << Estado::Outra << 0;
        QTest::newRow("arquitetura não oferecida")
            << hex("00000003ffff800d0000002400000005") << Estado::Outra << 0;
        QTest::newRow("op_accept sem o tipo")
            << hex("00000003ffff800d00000001") << Estado::Incompleta << 0;
        QTest::newRow("só op_dummy, até o limite")
            << hex("00000047").repeated(ProtocoloFirebird::kMaximoResposta / 4) << Estado::Outra
            << 0;
    }
    void resposta() {
        QFETCH(QByteArray, bytes);
        QFETCH(Estado, estado);
        QFETCH(int, protocolo);
        const ProtocoloFirebird::Resposta r = ProtocoloFirebird::LeResposta(bytes);
        QCOMPARE(r.estado, estado);
        QCOMPARE(r.protocolo, protocolo);
    }

    // The protocol as the version of Firebird that first spoke it.
    void versao_data() {
        QTest::addColumn<int>("protocolo");
        QTest::addColumn<QString>("texto");
        QTest::newRow("13") << 13 << "Firebird 3.0 ou mais novo";
        QTest::newRow("15") << 15 << "Firebird 3.0 ou mais novo";
        QTest::newRow("16") << 16 << "Firebird 4.0 ou mais novo";
        QTest::newRow("18") << 18 << "Firebird 5.0 ou mais novo";
        QTest::newRow("19") << 19 << "";
    }
    void versao() {
        QFETCH(int, protocolo);
        QFETCH(QString, texto);
        QCOMPARE(ProtocoloFirebird::Versao(protocolo), texto);
    }

    // The probe against listeners: a Firebird server is told apart from a port that only takes
    // the connection; one that answered is left with op_disconnect.
    void sonda_data() {
        QTest::addColumn<QString>("ouvinte"); // "servidor": the test Firebird server
        QTest::addColumn<QByteArray>("resposta");
        QTest::addColumn<bool>("aosPedacos");
        QTest::addColumn<bool>("firebird");
        QTest::addColumn<int>("protocolo");
        QTest::newRow("servidor de testes") << "servidor" << QByteArray() << false << true << 15;
        QTest::newRow("op_dummy e op_accept aos pedaços")
            << "ouvinte" << QByteArray::fromHex("00000047") + kAceita13 << true << true << 13;
        QTest::newRow("aceita e cala") << "ouvinte" << QByteArray() << false << false << 0;
        QTest::newRow("SSH") << "ouvinte" << QByteArray("SSH-2.0-OpenSSH_9.2p1\r\n") << false
                             << false << 0;
        QTest::newRow("porta fechada") << "fechada" << QByteArray() << false << false << 0;
    }
    void sonda() {
        QFETCH(QString, ouvinte);
        QFETCH(QByteArray, resposta);
        QFETCH(bool, aosPedacos);
        QFETCH(bool, firebird);
        QFETCH(int, protocolo);
        QString motivo;
        if (ouvinte == u"servidor" && !ServidorDeTestes(&motivo))
            QSKIP(qPrintable(motivo));
        Ouvinte o(resposta, aosPedacos);
        const quint16 porta = ouvinte == u"servidor"  ? quint16(3050)
                              : ouvinte == u"fechada" ? PortaFechada()
                                                      : o.Porta();
        QPointer<SondaFirebird> sonda(
            new SondaFirebird(QHostAddress::LocalHost, porta, 1000, this));
        QSignalSpy terminou(sonda.data(), &SondaFirebird::Terminou);
        sonda->Inicia(); // a refusal may end it at once (Windows)
        QVERIFY(!terminou.isEmpty() || terminou.wait(5000));
        QCOMPARE(terminou.constFirst().at(0).toBool(), firebird);
        QCOMPARE(terminou.constFirst().at(1).toInt(), protocolo);
        QTRY_VERIFY(!sonda); // its connection closed, it is gone
        if (ouvinte == u"ouvinte")
            QTRY_COMPARE(o.recebido.endsWith(ProtocoloFirebird::PedidoDesconexao()), firebird);
        QCOMPARE(terminou.size(), 1);
    }

    // The two paths asked of a machine are those the switch writes for it.
    void caminhos_data() {
        QTest::addColumn<QString>("pasta");
        QTest::addColumn<QStringList>("databases"); // Linux, Windows
        QTest::newRow("EMPRESA") << "EMPRESA"
                                 << QStringList{"198.51.100.2:/VELTOGDB/EMPRESA/VELTO.FDB",
                                                "198.51.100.2:\\VELTOGDB\\EMPRESA\\VELTO.FDB"};
        QTest::newRow("CARTORI2") << "CARTORI2"
                                  << QStringList{"198.51.100.2:/VELTOGDB/CARTORI2/CARTORIO.FDB",
                                                 "198.51.100.2:\\VELTOGDB\\CARTORI2\\CARTORIO.FDB"};
    }
    void caminhos() {
        QFETCH(QString, pasta);
        QFETCH(QStringList, databases);
        const auto c = ProcuraBanco::Caminhos(u"198.51.100.2"_qs, pasta);
        QCOMPARE(c.size(), 2);
        QCOMPARE((QStringList{c[0].first, c[1].first}), (QStringList{"Linux", "Windows"}));
        QCOMPARE((QStringList{c[0].second, c[1].second}), databases);
    }

    // Of a machine's two answers, the one that tells the user most.
    void melhor_data() {
        QTest::addColumn<CausaBanco>("linux");
        QTest::addColumn<CausaBanco>("windows");
        QTest::addColumn<QString>("tipo");
        QTest::newRow("no Windows")
            << CausaBanco::ArquivoNaoEncontrado << CausaBanco::Conectado << "Windows";
        QTest::newRow("usuário recusado antes de arquivo")
            << CausaBanco::ArquivoNaoEncontrado << CausaBanco::LoginRecusado << "Windows";
    }
    void melhor() {
        QFETCH(CausaBanco, linux);
        QFETCH(CausaBanco, windows);
        QFETCH(QString, tipo);
        const ResultadoProcura a{{linux}, u"Linux"_qs, {}};
        const ResultadoProcura b{{windows}, u"Windows"_qs, {}};
        QCOMPARE(ProcuraBanco::Melhor(a, b).tipo, tipo);
    }

    // One machine asked through the relay: the test server (with no folder of this name under
    // its /VELTOGDB), a closed port, and hosts that stop answering, which the relay cuts at the
    // time limit.
    void procura_data() {
        QTest::addColumn<QString>("ouvinte");
        QTest::addColumn<QString>("senha");
        QTest::addColumn<CausaBanco>("causa");
        QTest::addColumn<int>("conexoes"); // that the listener got; -1: not counted
        QTest::newRow("sem o arquivo")
            << "servidor" << QString::fromLatin1(ServidorFirebird::SenhaSysdba)
            << CausaBanco::ArquivoNaoEncontrado << -1;
        QTest::newRow("senha recusada") << "servidor"
                                        << "errada" << CausaBanco::LoginRecusado << -1;
        QTest::newRow("porta fechada") << "fechada"
                                       << "x" << CausaBanco::PortaFechada << -1;
        QTest::newRow("aceita op_connect e cala") << "aceita"
                                                  << "x" << CausaBanco::SemResposta << 1;
    }
    void procura() {
        QFETCH(QString, ouvinte);
        QFETCH(QString, senha);
        QFETCH(CausaBanco, causa);
        QFETCH(int, conexoes);
        QString motivo;
        if (!ClienteInstalado())
            QSKIP("sem o cliente Firebird");
        if (ouvinte == u"servidor" && !ServidorDeTestes(&motivo))
            QSKIP(qPrintable(motivo));
        Ouvinte o(ouvinte == u"aceita" ? kAceita13 : QByteArray());
        const quint16 porta = ouvinte == u"servidor"  ? quint16(3050)
                              : ouvinte == u"fechada" ? PortaFechada()
                                                      : o.Porta();
        const QString pasta = u"T%1"_qs.arg(QCoreApplication::applicationPid() % 100000);
        ProcuraBanco procura(u"SYSDBA"_qs, senha, pasta, NomeBibliotecaClienteFirebird());
        procura.TempoLimiteS = 1;
        QSignalSpy respondeu(&procura, &ProcuraBanco::Respondeu);
        procura.Pergunta(u"m"_qs, QHostAddress::LocalHost, porta);
        QCOMPARE(procura.Perguntados(), 1);
        QVERIFY(respondeu.wait(15000));
        const auto r = respondeu.constFirst().at(1).value<ResultadoProcura>();
        QCOMPARE(r.banco.causa, causa);
        QCOMPARE(r.tipo, u"Linux"_qs);
        QCOMPARE(r.database, u"127.0.0.1:/VELTOGDB/%1/VELTO.FDB"_qs.arg(pasta));
        if (conexoes >= 0) // a host that does not answer is not asked the second path
            QCOMPARE(o.conexoes, conexoes);
        QVERIFY(procura.Concluida());
    }

    // Three machines that never answer: two at a time, each once; the third waits its turn.
    void doisDeCadaVez() {
        if (!ClienteInstalado())
            QSKIP("sem o cliente Firebird");
        Ouvinte mudo;
        ProcuraBanco procura(u"A"_qs, u"B"_qs, u"EMPRESA"_qs, NomeBibliotecaClienteFirebird());
        procura.TempoLimiteS = 1;
        QSignalSpy respondeu(&procura, &ProcuraBanco::Respondeu);
        for (const char* m : {"m1", "m2", "m3"})
            procura.Pergunta(QLatin1String(m), QHostAddress::LocalHost, mudo.Porta());
        QCOMPARE(procura.Perguntados(), 2);
        QCOMPARE(procura.Total(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(respondeu.size(), 3, 15000);
        QCOMPARE(mudo.maximo, 2);
        QCOMPARE(mudo.conexoes, 3);
    }

    // The search goes (the editor closes) while an attach waits on a host that accepted it and
    // went silent: the attach is cut and its thread ends at once, long before the time limit.
    void apagadaCorta() {
        if (!ClienteInstalado())
            QSKIP("sem o cliente Firebird");
        Ouvinte trava(kAceita13);
        auto procura = std::make_unique<ProcuraBanco>(u"A"_qs, u"B"_qs, u"EMPRESA"_qs,
                                                      NomeBibliotecaClienteFirebird());
        procura->TempoLimiteS = 60;
        procura->Pergunta(u"m"_qs, QHostAddress::LocalHost, trava.Porta());
        QTRY_VERIFY(trava.recebido.size() > 0);
        QTest::qWait(200); // the client waits for the answer to its attach
        QCOMPARE(ProcurasEmCurso(), 1);
        procura.reset();
        QTRY_COMPARE_WITH_TIMEOUT(ProcurasEmCurso(), 0, ProcuraBanco::kTempoLimiteS * 1000);
    }
};

QTEST_GUILESS_MAIN(TstProcuraBanco)
#include "tst_procurabanco.moc"
