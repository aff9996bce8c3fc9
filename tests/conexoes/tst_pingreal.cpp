// Real echoes. The test runs in a network namespace of its own: at start it executes itself
// again under `unshare -n` (as root) or `unshare -rn` (a user namespace, no root needed). There
// it brings up the loopback and builds a second namespace behind a veth pair:
//
//   this namespace  gpv0 198.51.100.1/24  <--veth-->  gpv1 198.51.100.2/24  peer namespace
//   route 203.0.113.0/24 via 198.51.100.2              ignores echo requests; forwards, with
//                                                      203.0.113.0/24 unreachable
//
// so 198.51.100.2 is a silent host and 203.0.113.7 answers with "host unreachable". Everything
// lives in namespaces that end with this process (the peer's holder is killed by id, and dies
// with us in any case). Without root and without user namespaces the tests skip.
#include "conexoes/CaixaNumero.h"
#include "conexoes/EcoIcmp.h"
#include "conexoes/TesteConexao.h"
#include "support/GravadorMensagens.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <string>
#include <vector>
#ifdef Q_OS_LINUX
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace Icmp;

namespace {

constexpr char kVariavelDentro[] = "GERENCIADOR_TESTE_NAMESPACE";
QString g_semNamespace; // why the tests cannot run, when they cannot

constexpr char kSilencioso[] = "198.51.100.2";
constexpr char kInalcancavel[] = "203.0.113.7";
constexpr char kCircular[] = "203.0.113.200";
constexpr char kSemRota[] = "198.18.0.1"; // no route to it in the namespace

#ifdef Q_OS_LINUX
// Executes this test again inside a new network namespace, if one can be made.
void EntraNamespace(int argc, char** argv) {
    if (qEnvironmentVariableIsSet(kVariavelDentro))
        return;
    std::vector<std::vector<std::string>> opcoes;
    if (::geteuid() == 0)
        opcoes.push_back({"-n"});
    opcoes.push_back({"-r", "-n"});
    char proprio[4096];
    const ssize_t n = ::readlink("/proc/self/exe", proprio, sizeof proprio - 1);
    if (n <= 0) {
        g_semNamespace = QStringLiteral("cannot find the test's own executable");
        return;
    }
    proprio[n] = '\0';
    for (const auto& o : opcoes) {
        std::string prova = "unshare";
        for (const auto& x : o)
            prova += ' ' + x;
        if (std::system((prova + " -- true >/dev/null 2>&1").c_str()) != 0)
            continue;
        std::vector<std::string> args{"unshare"};
        args.insert(args.end(), o.begin(), o.end());
        args.push_back("--");
        args.push_back(proprio);
        for (int i = 1; i < argc; ++i)
            args.push_back(argv[i]);
        std::vector<char*> c;
        for (auto& a : args)
            c.push_back(a.data());
        c.push_back(nullptr);
        ::setenv(kVariavelDentro, "1", 1);
        ::execvp("unshare", c.data());
        ::unsetenv(kVariavelDentro);
    }
    g_semNamespace = ::geteuid() == 0
                         ? QStringLiteral("unshare -n failed: this system refuses new network "
                                          "namespaces even to root")
                         : QStringLiteral("not root, and unshare -rn failed: user namespaces are "
                                          "disabled here (run as root, or allow them with "
                                          "kernel.unprivileged_userns_clone=1)");
}
#endif

bool Executa(const QString& programa, const QStringList& args, QString* saida = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(programa, args);
    const bool ok =
        p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const QString texto = QString::fromLocal8Bit(p.readAll());
    if (saida)
        *saida = texto;
    if (!ok)
        qWarning("%s %s: %s", qPrintable(programa), qPrintable(args.join(u' ')), qPrintable(texto));
    return ok;
}

bool EscreveSysctl(const QString& nome, const QByteArray& valor) {
    QFile f(QStringLiteral("/proc/sys/net/ipv4/") + nome);
    return f.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && f.write(valor) == valor.size();
}

const QRegularExpression kLinhaEco(QStringLiteral(
    R"(^72 bytes from 127\.0\.0\.1: icmp_seq=(\d+) ttl=\d+ time(<1|=[1-9]\d*) ms$)"));
const QRegularExpression kLinhaTempoEsgotado(
    QStringLiteral(R"(^0 bytes from 0\.0\.0\.0: icmp_seq=(\d+) ttl=0 time=[1-9]\d* ms$)"));

struct Formulario {
    TFrmTesteConexao form;
    QLineEdit* host = form.findChild<QLineEdit*>(QStringLiteral("edtHost"));
    QPushButton* btn = form.findChild<QPushButton*>(QStringLiteral("btnPing"));
    CaixaNumero* spn = form.findChild<CaixaNumero*>(QStringLiteral("spnPing"));
    QListWidget* lista = form.findChild<QListWidget*>(QStringLiteral("lstReplies"));
    // Only the echoes' lines here: the database-port line has its tests in tst_testeconexao.
    Formulario() { form.PortaBanco = 0; }

    void Roda(const QString& alvo, int tentativas) {
        host->setText(alvo);
        spn->setValue(tentativas);
        btn->click();
    }
    QStringList Linhas() const {
        QStringList l;
        for (int i = 0; i < lista->count(); ++i)
            l << lista->item(i)->text();
        return l;
    }
};

} // namespace

// Tests that need the peer namespace (or name lookups kept inside one) skip elsewhere.
#define EXIGE_NAMESPACE()                                                                          \
    do {                                                                                           \
        if (!prontoNamespace_)                                                                     \
            QSKIP("needs the Linux network namespaces of this test");                              \
    } while (false)

class TstPingReal : public QObject {
    Q_OBJECT

    QProcess vizinho_; // holds the peer namespace
    bool montado_ = false;
    QString erroSemPermissao_;
    bool prontoNamespace_ = false;

    static void AddModos() {
        QTest::addColumn<int>("modo");
        QTest::newRow("datagrama") << int(ModoSocket::Datagrama);
        QTest::newRow("bruto") << int(ModoSocket::Bruto);
    }

private Q_SLOTS:
    void initTestCase() {
#ifndef Q_OS_LINUX
        return; // only the loopback tests run here
#endif
        if (!g_semNamespace.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no network namespace: ") + g_semNamespace));
        QVERIFY(qEnvironmentVariableIsSet(kVariavelDentro));
        QVERIFY(Executa(QStringLiteral("ip"), {"link", "set", "lo", "up"}));
        // A new namespace starts with datagram sockets closed to every group (and in a user
        // namespace they cannot be closed again once opened): try one now.
        DefineModoSocket(ModoSocket::Datagrama);
        try {
            EnviaEco("127.0.0.1", 1, 1, 500);
        } catch (const ErroIcmp& e) {
            erroSemPermissao_ = QString::fromUtf8(e.what());
        }
        DefineModoSocket(ModoSocket::Automatico);
        QVERIFY(EscreveSysctl(QStringLiteral("ping_group_range"), "0 0"));

        // The peer namespace: a process that unshares and then only sleeps, killed by the
        // kernel should this test die before cleanupTestCase.
#ifdef Q_OS_LINUX
        vizinho_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
        vizinho_.start(QStringLiteral("unshare"),
                       {"-n", "sh", "-c", "echo pronto; exec sleep 600"});
        QVERIFY(vizinho_.waitForReadyRead(10000));
        QCOMPARE(vizinho_.readAllStandardOutput().trimmed(), QByteArray("pronto"));
        const QString pid = QString::number(vizinho_.processId());

        QVERIFY(Executa(QStringLiteral("ip"), {"link", "add", "gpv0", "type", "veth", "peer",
                                               "name", "gpv1", "netns", pid}));
        montado_ = true;
        QVERIFY(Executa(QStringLiteral("ip"), {"addr", "add", "198.51.100.1/24", "dev", "gpv0"}));
        QVERIFY(Executa(QStringLiteral("ip"), {"link", "set", "gpv0", "up"}));
        QVERIFY(Executa(QStringLiteral("ip"),
                        {"route", "add", "203.0.113.0/24", "via", "198.51.100.2"}));
        QVERIFY(Executa(QStringLiteral("nsenter"),
                        {"-t", pid, "-n", "sh", "-e", "-c",
                         "ip link set lo up; ip addr add 198.51.100.2/24 dev gpv1; "
                         "ip link set gpv1 up; "
                         "echo 1 > /proc/sys/net/ipv4/icmp_echo_ignore_all; "
                         "echo 1 > /proc/sys/net/ipv4/ip_forward; "
                         "echo 0 > /proc/sys/net/ipv4/icmp_ratelimit; "
                         "echo 0 > /proc/sys/net/ipv4/conf/all/send_redirects; "
                         "echo 0 > /proc/sys/net/ipv4/conf/gpv1/send_redirects; "
                         "ip route add unreachable 203.0.113.0/24; "
                         "ip route add 203.0.113.128/25 via 198.51.100.1"}));
        // 203.0.113.128/25 goes round between the two namespaces until its TTL runs out; this
        // side forwards too, takes its own address back from the peer, and sends no redirects.
        for (const char* ajuste : {"ip_forward=1", "icmp_ratelimit=0", "conf/all/send_redirects=0",
                                   "conf/gpv0/send_redirects=0", "conf/all/accept_local=1",
                                   "conf/gpv0/accept_local=1"}) {
            const QList<QByteArray> nv = QByteArray(ajuste).split('=');
            QVERIFY2(EscreveSysctl(QString::fromLatin1(nv[0]), nv[1]), ajuste);
        }

        // Wait for the link (and the peer's ARP answer): the unreachable host answers once it
        // is all up.
        bool pronto = false;
        for (int i = 0; i < 10 && !pronto; ++i) {
            try {
                pronto = EnviaEco(kInalcancavel, 1, 1, 500).status == StatusEco::Inalcancavel;
            } catch (const ErroIcmp&) {
                QTest::qWait(100);
            }
        }
        QVERIFY2(pronto, "the peer namespace does not answer");
        prontoNamespace_ = true;
    }

    void cleanup() {
        DefineModoSocket(ModoSocket::Automatico);
    }

    void cleanupTestCase() {
        if (montado_)
            Executa(QStringLiteral("ip"), {"link", "del", "gpv0"});
        if (vizinho_.state() != QProcess::NotRunning) {
            vizinho_.kill();
            vizinho_.waitForFinished(5000);
        }
    }

    void ecoLocal_data() {
        AddModos();
    }
    void ecoLocal() {
        QFETCH(int, modo);
        DefineModoSocket(static_cast<ModoSocket>(modo));
        ClienteEcoIcmp cliente;
        cliente.host = "127.0.0.1";
        QList<RespostaEco> respostas;
        cliente.aoResponder = [&](const RespostaEco& r) { respostas.append(r); };
        for (int i = 0; i < 3; ++i)
            cliente.Ping();
        QCOMPARE(respostas.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const RespostaEco& r = respostas[i];
            QCOMPARE(r.status, StatusEco::Eco);
            QCOMPARE(int(r.sequencia), 3489 + i);
            QCOMPARE(r.bytesRecebidos, 72); // 20-byte IP header + the 52 bytes sent
            QCOMPARE(QString::fromStdString(r.enderecoOrigem), u"127.0.0.1"_qs);
#ifdef Q_OS_LINUX
            QCOMPARE(int(r.ttl), 64);
            // A raw socket sees our own request come back over the loopback first.
            QCOMPARE(int(r.tipoIcmp), modo == int(ModoSocket::Bruto) ? 8 : 0);
#else
            Q_UNUSED(modo);
            QVERIFY(r.ttl > 0);
            QCOMPARE(int(r.tipoIcmp), 0);
#endif
            const QString linha = FormataLinhaResposta(r);
            QVERIFY2(kLinhaEco.match(linha).hasMatch(), qPrintable(linha));
        }
        QCOMPARE(int(cliente.Sequencia()), 3492);
    }

    // The request as it travels, caught by a raw socket of the test's own: 52 bytes of ICMP
    // after the IP header, type 8, code 0, a checksum that holds, our identifier (with a
    // datagram socket too, whose port the kernel puts there), the counter, the tick, 8 zero
    // bytes and 32 'E'.
    void pedidoNoFio_data() {
        AddModos();
    }
    void pedidoNoFio() {
#ifdef Q_OS_LINUX
        EXIGE_NAMESPACE();
        QFETCH(int, modo);
        const int escuta = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK, IPPROTO_ICMP);
        QVERIFY(escuta >= 0);
        DefineModoSocket(static_cast<ModoSocket>(modo));
        ClienteEcoIcmp cliente;
        cliente.host = "127.0.0.1";
        const std::uint32_t antes = TickMs();
        cliente.Ping();
        const std::uint32_t depois = TickMs();
        QByteArray pedido;
        char buffer[2048];
        for (;;) {
            const ssize_t n = ::recv(escuta, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            const int ihl = (buffer[0] & 0x0F) * 4;
            const QByteArray icmp(buffer + ihl, n - ihl);
            if (icmp.size() >= 8 && icmp[0] == 8 && icmp.mid(6, 2) == QByteArray("\x0D\xA1", 2))
                pedido = icmp;
        }
        ::close(escuta);
        QCOMPARE(pedido.size(), 52);
        const auto* b = reinterpret_cast<const std::uint8_t*>(pedido.constData());
        QCOMPARE(int(b[1]), 0);
        QCOMPARE(int(SomaVerificacao(b, 52)), 0);
        QCOMPARE((b[4] << 8) | b[5], int(IdentificadorProcesso()));
        std::uint32_t tick = 0;
        std::memcpy(&tick, b + 8, 4);
        QVERIFY(tick - antes <= depois - antes);
        QCOMPARE(pedido.mid(12, 8), QByteArray(8, '\0'));
        QCOMPARE(pedido.mid(20), QByteArray(32, 'E'));
#else
        QSKIP("needs the Linux network namespaces of this test");
#endif
    }

    void voltaDaSequencia_data() {
        AddModos();
    }
    void voltaDaSequencia() {
        QFETCH(int, modo);
        DefineModoSocket(static_cast<ModoSocket>(modo));
        ClienteEcoIcmp cliente;
        cliente.host = "127.0.0.1";
        cliente.DefineSequencia(65534);
        QList<int> sequencias;
        cliente.aoResponder = [&](const RespostaEco& r) {
            QCOMPARE(r.status, StatusEco::Eco);
            sequencias.append(r.sequencia);
        };
        for (int i = 0; i < 3; ++i)
            cliente.Ping();
        QCOMPARE(sequencias, QList<int>({65534, 65535, 0}));
        QCOMPARE(int(cliente.Sequencia()), 1);
    }

    // Four timeouts on a fresh form, numbered 3489 to 3492; the next run goes on at 3493.
    void hostSilencioso_data() {
        AddModos();
    }
    void hostSilencioso() {
        EXIGE_NAMESPACE();
        QFETCH(int, modo);
        DefineModoSocket(static_cast<ModoSocket>(modo));
        GravadorMensagens caixas;
        Formulario f;
        f.Roda(QString::fromLatin1(kSilencioso), 4);
        f.Roda(QString::fromLatin1(kSilencioso), 1);
        const QStringList linhas = f.Linhas();
        QCOMPARE(linhas.size(), 5);
        for (int i = 0; i < linhas.size(); ++i) {
            const auto m = kLinhaTempoEsgotado.match(linhas[i]);
            QVERIFY2(m.hasMatch(), qPrintable(linhas[i]));
            QCOMPARE(m.captured(1).toInt(), 3489 + i);
        }
        QVERIFY(caixas.Pedidos().isEmpty());
        QVERIFY(f.btn->isEnabled());
    }

    // While the attempt waits, other echo traffic crosses the loopback. A datagram socket
    // never sees it; a raw socket sees it, skips it, and the attempt ends with the record as
    // it stood at its start.
    void tempoEsgotadoComDatagramasAlheios_data() {
        QTest::addColumn<int>("modo");
        QTest::addColumn<QString>("linha");
        QTest::newRow("datagrama")
            << int(ModoSocket::Datagrama) << "0 bytes from 0.0.0.0: icmp_seq=3489 ttl=0 time=";
        QTest::newRow("bruto") << int(ModoSocket::Bruto) << "0 bytes from : icmp_seq=0 ttl=0 time=";
    }
    void tempoEsgotadoComDatagramasAlheios() {
        EXIGE_NAMESPACE();
        QFETCH(int, modo);
        QFETCH(QString, linha);
        QProcess outro;
        outro.start(QStringLiteral("ping"),
                    {"-q", "-c", "12", "-i", "0.2", "-W", "1", "127.0.0.1"});
        QVERIFY(outro.waitForStarted());
        QTest::qWait(100);
        DefineModoSocket(static_cast<ModoSocket>(modo));
        ClienteEcoIcmp cliente;
        cliente.host = kSilencioso;
        QString obtida;
        cliente.aoResponder = [&](const RespostaEco& r) { obtida = FormataLinhaResposta(r); };
        cliente.Ping();
        outro.kill();
        outro.waitForFinished();
        QVERIFY2(obtida.startsWith(linha), qPrintable(obtida));
        QCOMPARE(int(cliente.Sequencia()), 3490);
    }

    // ICMP errors on the way: the peer has no route to 203.0.113.0/24 and says so (type 3);
    // 203.0.113.128/25 loops until the TTL runs out (type 11, from this side's forwarding).
    // The record carries who answered and the size of the whole datagram: IP header, ICMP
    // header, the quoted IP header and the 52-byte request.
    void errosNoCaminho_data() {
        QTest::addColumn<int>("modo");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("tipo");
        QTest::addColumn<QString>("origem");
        for (const auto& [nome, modo] : {std::pair{"datagrama", ModoSocket::Datagrama},
                                         std::pair{"bruto", ModoSocket::Bruto}}) {
            QTest::addRow("inalcançável, %s", nome)
                << int(modo) << QString::fromLatin1(kInalcancavel) << int(StatusEco::Inalcancavel)
                << 3 << "198.51.100.2";
            QTest::addRow("TTL excedido, %s", nome)
                << int(modo) << QString::fromLatin1(kCircular) << int(StatusEco::TtlExcedido) << 11
                << "198.51.100.1";
        }
    }
    void errosNoCaminho() {
        EXIGE_NAMESPACE();
        QFETCH(int, modo);
        QFETCH(QString, host);
        QFETCH(int, status);
        QFETCH(int, tipo);
        QFETCH(QString, origem);
        // The peer's kernel sends "unreachable" 5 at once, then one a second (route.error_burst
        // and error_cost, which no namespace of its own changes): this row's two come after the
        // earlier rows' and the set-up's, however fast those went.
        if (status == int(StatusEco::Inalcancavel))
            QTest::qWait(2000);
        DefineModoSocket(static_cast<ModoSocket>(modo));
        ClienteEcoIcmp cliente;
        cliente.host = host.toStdString();
        QList<RespostaEco> respostas;
        cliente.aoResponder = [&](const RespostaEco& r) { respostas.append(r); };
        cliente.Ping();
        cliente.Ping();
        QCOMPARE(respostas.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const RespostaEco& r = respostas[i];
            QCOMPARE(int(r.status), status);
            QCOMPARE(int(r.tipoIcmp), tipo);
            QCOMPARE(int(r.sequencia), 3489 + i);
            QCOMPARE(QString::fromStdString(r.enderecoOrigem), origem);
            QCOMPARE(r.bytesRecebidos, 100);
            QCOMPARE(int(r.ttl), 64);
        }
    }

    // Failures end the run at once, with the general error box, no line, and the button usable
    // again; the counter does not move, so the next run starts where it was.
    void erros_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("texto");
        QTest::newRow("nome que não existe") << "nada.gerenciador.invalid"
                                             << "Socket Error # 11001\r\nHost not found.";
        QTest::newRow("vazio") << ""
                               << "Socket Error # 11001\r\nHost not found.";
        QTest::newRow("letra de unidade") << "C"
                                          << "Socket Error # 11001\r\nHost not found.";
        QTest::newRow("acentos") << u"servidor-cartório"_qs
                                 << "Socket Error # 11001\r\nHost not found.";
        QTest::newRow("branco e lixo") << " 127.0.0.1x"
                                       << "Socket Error # 11001\r\nHost not found.";
        QTest::newRow("sem rota") << kSemRota << "Socket Error # 101\r\nNetwork is unreachable.";
    }
    void erros() {
        EXIGE_NAMESPACE();
        QFETCH(QString, host);
        QFETCH(QString, texto);
        GravadorMensagens caixas;
        Formulario f;
        QList<bool> botaoNaCaixa;
        caixas.AoMostrar([&](const PedidoMensagem&) { botaoNaCaixa.append(f.btn->isEnabled()); });
        f.Roda(host, 4);
        QCOMPARE(caixas.Textos(), QStringList{texto});
        QCOMPARE(botaoNaCaixa, QList<bool>{true}); // usable again before the box shows
        QCOMPARE(caixas.Pedidos().at(0).icone, IconeMensagem::Erro);
        QCOMPARE(f.lista->count(), 0);
        QVERIFY(f.btn->isEnabled());

        f.Roda(QStringLiteral("127.0.0.1"), 1);
        QCOMPARE(f.lista->count(), 1);
        QCOMPARE(kLinhaEco.match(f.lista->item(0)->text()).captured(1), u"3489"_qs);
        QCOMPARE(caixas.Pedidos().size(), 1);
    }

    // The attempt made in initTestCase while datagram sockets were still closed.
    void semPermissaoNomeiaOsRemedios() {
        EXIGE_NAMESPACE();
        const QString& erro = erroSemPermissao_;
        QVERIFY2(erro.startsWith(u"Socket Error # 13\r\nPermission denied."), qPrintable(erro));
        QVERIFY(erro.contains(u"net.ipv4.ping_group_range"));
        QVERIFY(erro.contains(u"CAP_NET_RAW"));
    }

    // Runs append; the button is off while a run goes and on again after it; Enter in the
    // host field starts a run.
    void execucoesAcumulam() {
        GravadorMensagens caixas;
        Formulario f;
        QList<bool> botaoDurante;
        connect(f.lista->model(), &QAbstractItemModel::rowsInserted, &f.form,
                [&] { botaoDurante.append(f.btn->isEnabled()); });
        f.Roda(QStringLiteral("127.0.0.1"), 2);
        f.Roda(QStringLiteral("127.0.0.1"), 2);
        f.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&f.form));
        f.spn->setValue(1);
        f.host->setFocus();
        QTest::keyClick(f.host, Qt::Key_Return);
        const QStringList linhas = f.Linhas();
        QCOMPARE(linhas.size(), 5);
        for (int i = 0; i < linhas.size(); ++i)
            QCOMPARE(kLinhaEco.match(linhas[i]).captured(1).toInt(), 3489 + i);
        QCOMPARE(botaoDurante, QList<bool>(5, false));
        QVERIFY(f.btn->isEnabled());
        QVERIFY(caixas.Pedidos().isEmpty());
    }

    // Closing the window in the middle of a run: the run finishes its attempts.
    void fecharDuranteExecucao() {
        Formulario f;
        f.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.form));
        connect(f.lista->model(), &QAbstractItemModel::rowsInserted, &f.form,
                [&] { f.form.close(); });
        f.Roda(QStringLiteral("127.0.0.1"), 3);
        QCOMPARE(f.lista->count(), 3);
        QVERIFY(f.form.isHidden());
        QVERIFY(f.btn->isEnabled());
    }
};

int main(int argc, char** argv) {
#ifdef Q_OS_LINUX
    EntraNamespace(argc, argv);
#endif
    QApplication app(argc, argv);
    TstPingReal teste;
    return QTest::qExec(&teste, argc, argv);
}

#include "tst_pingreal.moc"
