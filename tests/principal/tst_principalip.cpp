// The public IP on the main window: the window shown with its lookup pointed at a page served
// here, on 127.0.0.1, that answers at once or only long after.
#include "common/Aplicacao.h"
#include "principal/Principal.h"
#include "support/GravadorMensagens.h"
#include "support/Instalacao.h"
#include "support/ServidorPagina.h"

#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <cstring>

namespace {

// Long enough that no step of a test waits for it: the page answers only after the test is over.
constexpr int kAtrasoPaginaLenta = 120000;

const QByteArray kConexoes = "[MATRIZ]\r\nServidor=10.0.0.5\r\nTipo=Linux\r\nAplica\xE7\xE3o="
                             "/opt/velto\r\nStatus=A\r\n"
                             "[alfa]\r\nServidor=srv01\r\nTipo=Windows\r\nAplica\xE7\xE3o=c:\\velto"
                             "\r\nStatus=I\r\n";

} // namespace

class TstPrincipalIP : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void enderecoNoRotulo() {
        ServidorPagina servidor("200 OK",
                                "<html><head><title>Meu IP: 189.4.77.12</title></head></html>");
        QVERIFY(servidor.Ouvindo());
        const Instalacao inst;
        TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
        janela.UrlMeuIP = servidor.Url();
        janela.show();
        QCOMPARE(janela.LblIP()->text(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(janela.LblIP()->text(), QStringLiteral("Meu IP 189.4.77.12"),
                                  30000);
        QCOMPARE(servidor.Pedidos(), QList<QByteArray>{"GET / HTTP/1.1"});
    }

    // While the page keeps silent the window is used (a server switch made with a key, which
    // the event loop delivers) and closes at once; the label stays empty.
    void paginaLentaJanelaUsavel() {
        ServidorPagina servidor("200 OK", "<title>8.8.4.4</title>", kAtrasoPaginaLenta);
        QVERIFY(servidor.Ouvindo());
        const Instalacao inst;
        inst.Grava(QStringLiteral("CONEXOES.INI"), kConexoes);
        GravadorMensagens gravador;
        TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
        janela.UrlMeuIP = servidor.Url();
        janela.show();
        janela.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&janela));
        QTRY_VERIFY_WITH_TIMEOUT(!servidor.Pedidos().isEmpty(), 30000); // lookup under way

        QTimer::singleShot(0, janela.FltCbxApelidoServidor(), [&janela] {
            QTest::keyClick(janela.FltCbxApelidoServidor(), Qt::Key_Up); // MATRIZ -> alfa
        });
        QTRY_COMPARE_WITH_TIMEOUT(gravador.Textos(),
                                  QStringList({u"Conexão alterada com sucesso!"_qs}), 30000);
        QVERIFY(inst.Le(QStringLiteral("CONEXOES.INI")).contains("c:\\velto\r\nStatus=A\r\n"));
        QCOMPARE(janela.LblIP()->text(), QString());

        QVERIFY(janela.close());
        QVERIFY(!janela.isVisible());
        QCOMPARE(servidor.Respostas(), 0);
        QCOMPARE(janela.LblIP()->text(), QString());
    }

    // The real end of a run: a copy of this test in a mode of its own shows the main window
    // against the silent page and closes it once its request has arrived. The process ends
    // normally before the page answers.
    void fecharNaoEspera() {
        ServidorPagina servidor("200 OK", "<title>8.8.4.4</title>", kAtrasoPaginaLenta);
        QVERIFY(servidor.Ouvindo());
        QProcess filho;
        EncerraFilhoComPaginaMuda(filho, QStringLiteral("--filho-janela"), servidor);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(servidor.Respostas(), 0);
        QCOMPARE(filho.exitStatus(), QProcess::NormalExit);
        QCOMPARE(filho.exitCode(), 0);
        QCOMPARE(servidor.Pedidos().size(), 1);
    }
};

// The child of fecharNaoEspera: the application object and the main window as the program
// makes them; the window is closed (which ends the run) when the parent says so.
static int FilhoJanela(int argc, char** argv) {
    Aplicacao app(argc, argv);
    const Instalacao inst;
    TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
    janela.UrlMeuIP = QString::fromLocal8Bit(argv[2]);
    janela.show();
    QTcpSocket canal;
    QObject::connect(&canal, &QTcpSocket::readyRead, &janela, &QWidget::close);
    QObject::connect(&canal, &QTcpSocket::disconnected, &janela, &QWidget::close);
    canal.connectToHost(QHostAddress::LocalHost, quint16(QByteArray(argv[3]).toUInt()));
    return app.exec();
}

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--filho-janela") == 0)
        return FilhoJanela(argc, argv);
    QApplication app(argc, argv);
    TstPrincipalIP teste;
    return QTest::qExec(&teste, argc, argv);
}

#include "tst_principalip.moc"
