// Capture with "IP" ticked against a name server that takes its time. Before anything else the
// test moves into network and mount namespaces of its own (and a user namespace when not root)
// where /etc/resolv.conf names 127.0.0.1, and the test itself is that name server: it answers
// a query only after its timer has fired kVoltas times, which can happen only while the
// editor's event loop keeps turning during the lookup.
#include "conexoes/Conexoes.h"
#include "conexoes/NavegadorRede.h"
#include "principal/Principal.h"
#include "support/GravadorMensagens.h"
#include "support/Instalacao.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUdpSocket>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

constexpr int kVoltas = 20; // timer shots between a query and its answer
QString g_semNamespace;     // why the test cannot run, when it cannot

bool Escreve(const char* caminho, const std::string& texto) {
    const int fd = ::open(caminho, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool ok = fd >= 0 && ::write(fd, texto.data(), texto.size()) == ssize_t(texto.size());
    return fd >= 0 && ::close(fd) == 0 && ok;
}

// Runs while the process has one thread, as unshare(CLONE_NEWUSER) requires.
QString EntraNamespaces() {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS | (uid ? CLONE_NEWUSER : 0)) != 0)
        return QStringLiteral("cannot make namespaces: ") + QString::fromLocal8Bit(strerror(errno));
    if (uid && !(Escreve("/proc/self/setgroups", "deny") &&
                 Escreve("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
                 Escreve("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")))
        return QStringLiteral("cannot map the user into its namespace");
    char resolv[] = "/tmp/gerenciador-resolv-XXXXXX";
    const int fd = ::mkstemp(resolv);
    const bool escrito = fd >= 0 && ::close(fd) == 0 &&
                         Escreve(resolv, "nameserver 127.0.0.1\noptions timeout:3 attempts:1\n");
    const bool montado = escrito &&
                         ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                         ::mount(resolv, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
    ::unlink(resolv);
    if (!montado)
        return QStringLiteral("cannot put a resolv.conf of its own in place");
    ifreq lo{};
    std::strcpy(lo.ifr_name, "lo");
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    lo.ifr_flags = IFF_UP | IFF_LOOPBACK | IFF_RUNNING;
    const bool ligado = s >= 0 && ::ioctl(s, SIOCSIFFLAGS, &lo) == 0;
    ::close(s);
    return ligado ? QString() : QStringLiteral("cannot bring the loopback up");
}

} // namespace

class TstCapturaIp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (!g_semNamespace.isEmpty())
            QSKIP(qPrintable(g_semNamespace));
    }

    void capturaSemTravar_data() {
        QTest::addColumn<int>("rcode"); // the name server's answer: 0 an address, 3 no such name
        QTest::addColumn<QString>("servidor");
        QTest::addColumn<int>("mensagens");
        QTest::newRow("endereço") << 0 << "198.51.100.20" << 0;
        QTest::newRow("nome que não existe") << 3 << "" << 1;
    }
    void capturaSemTravar() {
        QFETCH(int, rcode);
        QFETCH(QString, servidor);
        QFETCH(int, mensagens);
        QUdpSocket dns;
        QVERIFY(dns.bind(QHostAddress::LocalHost, 53));
        Instalacao inst;
        GravadorMensagens msgs;
        TFrmPrincipal principal(inst.Caminho(QStringLiteral("Gerenciador")));
        auto* navegador = new NavegadorRede;
        TFrmConexoes form(&principal, navegador);
        form.show();
        navegador->Avista("a", "servidor-banco.escritorio.lan", "ESCRITORIO");
        QTest::mouseClick(form.findChild<QRadioButton*>("RdBtnRemota"), Qt::LeftButton);
        form.findChild<QCheckBox*>("ChkBxIPBanco")->setChecked(true);
        auto* arvore = form.findChild<QTreeWidget*>("ShTVRede");
        arvore->setCurrentItem(
            arvore
                ->findItems("servidor-banco.escritorio.lan", Qt::MatchExactly | Qt::MatchRecursive)
                .value(0));

        // Each query waits kVoltas shots of the timer, then gets its answer.
        int voltas = 0, consultas = 0, respostas = 0;
        bool desabilitado = true, cursorEspera = true;
        QByteArray pendente;
        QHostAddress origem;
        quint16 porta = 0;
        connect(&dns, &QUdpSocket::readyRead, [&] {
            pendente.resize(dns.pendingDatagramSize());
            dns.readDatagram(pendente.data(), pendente.size(), &origem, &porta);
            ++consultas;
            voltas = 0;
            desabilitado = desabilitado && !form.isEnabled();
            const QCursor* c = QApplication::overrideCursor();
            cursorEspera = cursorEspera && c && c->shape() == Qt::WaitCursor;
        });
        QTimer relogio;
        connect(&relogio, &QTimer::timeout, [&] {
            if (pendente.size() < 17 || ++voltas < kVoltas)
                return;
            // Header (id, flags, counts), the question as asked, then one A record.
            const qsizetype fimPergunta = pendente.indexOf('\0', 12) + 5;
            QByteArray r = pendente.left(2);
            r += QByteArray::fromHex(rcode ? "81830001000000000000" : "81800001000100000000");
            r += pendente.mid(12, fimPergunta - 12);
            if (!rcode)
                r += QByteArray::fromHex("c00c000100010000003c0004c6336414");
            dns.writeDatagram(r, origem, porta);
            pendente.clear();
            ++respostas;
        });
        relogio.start(5);

        QTest::mouseClick(form.findChild<QPushButton*>("BitBtnCapturar"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(form.isEnabled(), 20000);
        QVERIFY(consultas >= 1);
        QCOMPARE(respostas, consultas);
        QVERIFY(desabilitado);
        QVERIFY(cursorEspera);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(form.findChild<QLineEdit*>("EdtServBanco")->text(), servidor);
        QCOMPARE(msgs.Pedidos().size(), mensagens);
    }
};

int main(int argc, char** argv) {
    g_semNamespace = EntraNamespaces();
    QApplication app(argc, argv);
    TstCapturaIp t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_capturaip_posix.moc"
