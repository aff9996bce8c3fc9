#include "principal/ThIP.h"
#include "support/ServidorPagina.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <cstring>

namespace {

const QString kNaoEncontrado = QStringLiteral("Meu IP não encontrado!");

} // namespace

class TstThIP : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // What the label shows for each page; one real GET each.
    void pagina_data() {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("corpo");
        QTest::addColumn<QString>("rotulo");

        QTest::newRow("endereço no título")
            << QByteArray("200 OK")
            << QByteArray("<html><head><title>Meu IP: 189.4.77.12</title></head></html>")
            << "Meu IP 189.4.77.12";
        QTest::newRow("título acentuado")
            << QByteArray("200 OK") << QByteArray("<title>Seu IP \xE9 200.150.10.1</title>")
            << "Meu IP 200.150.10.1";
        // The first dotted run that is an address; nothing else of the title joins it.
        QTest::newRow("o 4 de IPv4 fica de fora")
            << QByteArray("200 OK") << QByteArray("<title>IP 10.0.0.1 (IPv4)</title>")
            << "Meu IP 10.0.0.1";
        QTest::newRow("versão depois do endereço")
            << QByteArray("200 OK") << QByteArray("<title>Meu IP 10.0.0.1 v2</title>")
            << "Meu IP 10.0.0.1";
        QTest::newRow("versão antes do endereço")
            << QByteArray("200 OK") << QByteArray("<title>v2.1 - IP 172.16.0.9.</title>")
            << "Meu IP 172.16.0.9";
        // Plain-text services answer only the address.
        QTest::newRow("texto puro")
            << QByteArray("200 OK") << QByteArray("187.44.1.250\n") << "Meu IP 187.44.1.250";
        QTest::newRow("texto puro com mais")
            << QByteArray("200 OK") << QByteArray("IP: 187.44.1.250") << kNaoEncontrado;
        QTest::newRow("grupo de quatro dígitos")
            << QByteArray("200 OK") << QByteArray("<title>1234.5.6.7</title>") << kNaoEncontrado;
        QTest::newRow("etiquetas maiúsculas")
            << QByteArray("200 OK") << QByteArray("<TITLE>1.2.3.4</TITLE>") << kNaoEncontrado;
        // p1 = 0 + 7 and p2 = 15: the characters 7 to 14 of the page, ">1.2.3.4".
        QTest::newRow("abre maiúscula, fecha minúscula")
            << QByteArray("200 OK") << QByteArray("<TITLE>1.2.3.4</title>") << "Meu IP 1.2.3.4";
        QTest::newRow("fecha antes de abrir")
            << QByteArray("200 OK") << QByteArray("</title><title>1.2.3.4") << kNaoEncontrado;
        QTest::newRow("endereço só no corpo")
            << QByteArray("200 OK")
            << QByteArray("<html><head><title>Current IP Check</title></head>"
                          "<body>Current IP Address: 1.2.3.4</body></html>")
            << kNaoEncontrado;
        QTest::newRow("página vazia") << QByteArray("200 OK") << QByteArray() << kNaoEncontrado;
        QTest::newRow("404 com título válido")
            << QByteArray("404 Not Found") << QByteArray("<title>1.2.3.4</title>")
            << kNaoEncontrado;
        QTest::newRow("500 com título válido")
            << QByteArray("500 Internal Server Error") << QByteArray("<title>1.2.3.4</title>")
            << kNaoEncontrado;
        QByteArray grande = "<title>5.6.7.8</title>" + QByteArray(3 << 20, 'x');
        QTest::newRow("página maior que o limite")
            << QByteArray("200 OK") << grande << "Meu IP 5.6.7.8";
    }
    void pagina() {
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, corpo);
        QFETCH(QString, rotulo);
        ServidorPagina servidor(status, corpo);
        QVERIFY(servidor.Ouvindo());
        QLabel lblIP;
        // A path in the configured address is not used: the page is always "/".
        IniciaBuscaMeuIP(&lblIP, servidor.Url(QStringLiteral("/outra")));
        QTRY_COMPARE_WITH_TIMEOUT(lblIP.text(), rotulo, 30000);
        QCOMPARE(servidor.Pedidos(), QList<QByteArray>{"GET / HTTP/1.1"});
    }

    void ninguemOuvindo() {
        QLabel lblIP;
        IniciaBuscaMeuIP(&lblIP, QStringLiteral("http://127.0.0.1:%1/").arg(PortaFechada()));
        QTRY_COMPARE_WITH_TIMEOUT(lblIP.text(), kNaoEncontrado, 30000);
    }

    // A slow page: the UI thread goes on meanwhile, the label fills in later.
    void paginaLenta() {
        ServidorPagina servidor("200 OK", "<title>8.8.4.4</title>", 3000);
        QLabel lblIP;
        IniciaBuscaMeuIP(&lblIP, servidor.Url());
        QCOMPARE(lblIP.text(), QString());
        int batidas = 0;
        QTimer relogio;
        QObject::connect(&relogio, &QTimer::timeout, [&] { ++batidas; });
        relogio.start(50);
        QTRY_VERIFY_WITH_TIMEOUT(!servidor.Pedidos().isEmpty(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(batidas >= 3, 30000);
        QCOMPARE(lblIP.text(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(lblIP.text(), QStringLiteral("Meu IP 8.8.4.4"), 30000);
    }

    // The window is gone before the answer: the result is dropped, nothing breaks, and the
    // thread frees itself.
    void rotuloDestruidoAntes() {
        ServidorPagina servidor("200 OK", "<title>8.8.4.4</title>", 500);
        auto* lblIP = new QLabel;
        QPointer<Th_IP> th = IniciaBuscaMeuIP(lblIP, servidor.Url());
        QTRY_VERIFY_WITH_TIMEOUT(!servidor.Pedidos().isEmpty(), 30000);
        delete lblIP;
        QTRY_VERIFY_WITH_TIMEOUT(th.isNull(), 30000);
    }

    // A page that never answers: freeing the worker (what the application does on its way
    // out) stops the transfer instead of waiting for the page, and delivers nothing.
    void liberarInterrompe() {
        ServidorPagina servidor("200 OK", "<title>8.8.4.4</title>", -1);
        QLabel lblIP;
        Th_IP* th = IniciaBuscaMeuIP(&lblIP, servidor.Url());
        QTRY_VERIFY_WITH_TIMEOUT(!servidor.Pedidos().isEmpty(), 30000);
        QVERIFY(th->isRunning());
        delete th;
        QCoreApplication::processEvents();
        QCOMPARE(lblIP.text(), QString());
    }

    // The real end of a program: a copy of this test in a mode of its own starts the lookup
    // against a page that never answers and quits its event loop at once. It must end
    // normally (no crash, no sanitizer report) long before the page's 60-second silence ends.
    void encerrarNaoEspera() {
        ServidorPagina servidor("200 OK", "<title>8.8.4.4</title>", -1);
        QProcess filho;
        EncerraFilhoComPaginaMuda(filho, QStringLiteral("--filho-ip"), servidor);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(filho.exitStatus(), QProcess::NormalExit);
        QCOMPARE(filho.exitCode(), 0);
        QCOMPARE(servidor.Pedidos().size(), 1);
    }

    void textoDaPagina() {
        // One character per byte, so the title positions are byte positions.
        QCOMPARE(Th_IP::TextoDaPagina("\xC3\xA9<title>"), QStringLiteral("Ã©<title>"));
        QCOMPARE(Th_IP::IpDaPagina(QStringLiteral("\xE9<title>1.2.3.4</title>")),
                 QStringLiteral("1.2.3.4"));
    }
};

// The child of encerrarNaoEspera: quits as soon as the parent says its lookup is under way.
static int FilhoIP(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel lblIP;
    IniciaBuscaMeuIP(&lblIP, QString::fromLocal8Bit(argv[2]));
    QTcpSocket canal;
    QObject::connect(&canal, &QTcpSocket::readyRead, &app, &QCoreApplication::quit);
    QObject::connect(&canal, &QTcpSocket::disconnected, &app, &QCoreApplication::quit);
    canal.connectToHost(QHostAddress::LocalHost, quint16(QByteArray(argv[3]).toUInt()));
    return app.exec();
}

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--filho-ip") == 0)
        return FilhoIP(argc, argv);
    QApplication app(argc, argv);
    TstThIP teste;
    return QTest::qExec(&teste, argc, argv);
}

#include "tst_thip.moc"
