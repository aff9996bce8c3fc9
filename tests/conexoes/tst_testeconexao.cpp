// The ping form on its own: its controls, the attempts box, the default button, closing, and
// the database-port line after a run of one echo to this machine. Runs with echoes to other
// hosts are in tst_pingreal.
#include "conexoes/CaixaNumero.h"
#include "conexoes/TesteConexao.h"
#include "support/GravadorMensagens.h"
#include "support/ServidorPagina.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

namespace {
QLineEdit* Edicao(QAbstractSpinBox* caixa) {
    return caixa->findChild<QLineEdit*>();
}
} // namespace

class TstTesteConexao : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void controles() {
        TFrmTesteConexao form;
        QCOMPARE(FrmTesteConexao, &form);
        QCOMPARE(form.windowTitle(), u"Teste de Conexão"_qs);
        QCOMPARE(form.size(), QSize(560, 222));
        const Qt::WindowFlags f = form.windowFlags();
        QVERIFY(f & Qt::WindowCloseButtonHint);
        QVERIFY(f & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(f & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(f & Qt::WindowContextHelpButtonHint));
        QVERIFY(form.minimumSize() != form.maximumSize()); // resizable

        auto* btn = form.findChild<QPushButton*>(QStringLiteral("btnPing"));
        auto* spn = form.findChild<CaixaNumero*>(QStringLiteral("spnPing"));
        QVERIFY(btn && spn);
        QVERIFY(form.findChild<QLineEdit*>(QStringLiteral("edtHost")));
        QVERIFY(form.findChild<QListWidget*>(QStringLiteral("lstReplies")));
        QCOMPARE(btn->text(), QStringLiteral("&Ping"));
        QVERIFY(btn->isDefault());
        QCOMPARE(spn->minimum(), 1);
        QCOMPARE(spn->maximum(), 40);
        QCOMPARE(spn->value(), 4);
        bool rotulo = false;
        for (QLabel* l : form.findChildren<QLabel*>())
            rotulo |= l->text() == u"Pings:";
        QVERIFY(rotulo);

        form.DefineHost(QStringLiteral("C"));
        QCOMPARE(form.findChild<QLineEdit*>(QStringLiteral("edtHost"))->text(), u"C"_qs);
    }

    // What is typed, then how the box is left, and what it shows and reads afterwards.
    void caixaTentativas_data() {
        QTest::addColumn<QString>("digitado");
        QTest::addColumn<bool>("enter"); // Enter instead of leaving the box
        QTest::addColumn<QString>("texto");
        QTest::addColumn<int>("lido");
        QTest::newRow("100 ao sair vira 40") << "100" << false << "40" << 40;
        QTest::newRow("0 ao sair vira 1") << "0" << false << "1" << 1;
        QTest::newRow("-5 ao sair vira 1") << "-5" << false << "1" << 1;
        QTest::newRow("25 fica") << "25" << false << "25" << 25;
        QTest::newRow("vazio volta ao anterior") << "" << false << "4" << 4;
        QTest::newRow("letras recusadas") << "abc" << false << "4" << 4;
        QTest::newRow("0 com Enter fica 0") << "0" << true << "0" << 0;
        QTest::newRow("100 com Enter fica 100") << "100" << true << "100" << 100;
        QTest::newRow("vazio com Enter lê 1") << "" << true << "" << 1;
        QTest::newRow("dígitos demais recusados")
            << "12345678901" << true << "123456789" << 123456789;
    }
    void caixaTentativas() {
        QFETCH(QString, digitado);
        QFETCH(bool, enter);
        QFETCH(QString, texto);
        QFETCH(int, lido);
        TFrmTesteConexao form;
        auto* spn = form.findChild<CaixaNumero*>(QStringLiteral("spnPing"));
        auto* host = form.findChild<QLineEdit*>(QStringLiteral("edtHost"));
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        spn->setFocus();
        Edicao(spn)->selectAll();
        QTest::keyClick(spn, Qt::Key_Delete);
        QTest::keyClicks(spn, digitado);
        if (enter) {
            // Nothing to ping: the default button gets the Enter, but with a count of 0 or
            // less no attempt is made; other counts are checked without pressing it.
            QSignalSpy clique(form.findChild<QPushButton*>(QStringLiteral("btnPing")),
                              &QPushButton::clicked);
            if (lido <= 0) {
                QTest::keyClick(spn, Qt::Key_Return);
                QCOMPARE(clique.count(), 1);
            }
        } else {
            host->setFocus();
            QVERIFY(!spn->hasFocus());
        }
        QCOMPARE(Edicao(spn)->text(), texto);
        QCOMPARE(spn->ValorDigitado(), lido);
    }

    // Enter anywhere presses the default button; with 0 attempts nothing is sent, nothing is
    // listed, no box appears and the button stays usable.
    void enterSemTentativas_data() {
        QTest::addColumn<QString>("foco");
        QTest::newRow("na caixa") << "spnPing";
        QTest::newRow("no host") << "edtHost";
        QTest::newRow("na lista") << "lstReplies";
        QTest::newRow("no botão") << "btnPing";
    }
    void enterSemTentativas() {
        QFETCH(QString, foco);
        GravadorMensagens caixas;
        TFrmTesteConexao form;
        form.DefineHost(QStringLiteral("127.0.0.1"));
        auto* spn = form.findChild<CaixaNumero*>(QStringLiteral("spnPing"));
        auto* btn = form.findChild<QPushButton*>(QStringLiteral("btnPing"));
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        spn->setFocus();
        Edicao(spn)->selectAll();
        QTest::keyClicks(spn, QStringLiteral("0"));
        auto* alvo = form.findChild<QWidget*>(foco);
        QVERIFY(alvo);
        if (foco != u"spnPing") {
            alvo->setFocus(); // leaving the box turns the 0 into 1...
            QCOMPARE(Edicao(spn)->text(), QStringLiteral("1"));
            Edicao(spn)->setText(QStringLiteral("0")); // ...so put it back from outside
        }
        QSignalSpy clique(btn, &QPushButton::clicked);
        QTest::keyClick(alvo, Qt::Key_Return);
        QCOMPARE(clique.count(), 1);
        QCOMPARE(form.findChild<QListWidget*>(QStringLiteral("lstReplies"))->count(), 0);
        QVERIFY(caixas.Pedidos().isEmpty());
        QVERIFY(btn->isEnabled());
        QVERIFY(form.isVisible());
    }

    // After a run, one line on the host's database port (a local port here): whether it takes
    // a connection. An empty host or one that cannot be a name adds none.
    void linhaDaPorta_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("ouvindo");
        QTest::addColumn<QString>("estado"); // empty: no line
        QTest::newRow("porta ouvindo") << "127.0.0.1" << true << "aceita conexão";
        QTest::newRow("porta fechada") << "127.0.0.1" << false << "conexão recusada";
        QTest::newRow("host vazio") << "" << true << "";
        QTest::newRow("nome impossível") << "não é nome" << true << "";
    }
    void linhaDaPorta() {
        QFETCH(QString, host);
        QFETCH(bool, ouvindo);
        QFETCH(QString, estado);
        GravadorMensagens caixas; // the echo itself may be refused here (no ICMP rights)
        QTcpServer servidor;
        QVERIFY(servidor.listen(QHostAddress::LocalHost, 0));
        TFrmTesteConexao form;
        form.PortaBanco = ouvindo ? servidor.serverPort() : PortaFechada();
        form.DefineHost(host);
        form.findChild<CaixaNumero*>(QStringLiteral("spnPing"))->setValue(1);
        auto* lista = form.findChild<QListWidget*>(QStringLiteral("lstReplies"));
        form.btnPingClick();
        // The probe has ended once the form holds none.
        QTRY_VERIFY_WITH_TIMEOUT(!form.findChild<SondaPorta*>(), 30000);
        QStringList linhas;
        for (int i = 0; i < lista->count(); ++i)
            if (lista->item(i)->text().startsWith(u"Porta "))
                linhas.append(lista->item(i)->text());
        if (estado.isEmpty()) {
            QVERIFY2(linhas.isEmpty(), qPrintable(linhas.join(u'\n')));
            return;
        }
        QCOMPARE(linhas.size(), 1);
        QCOMPARE(lista->item(lista->count() - 1)->text(), linhas[0]); // after the replies
        const QRegularExpression forma(
            QStringLiteral(
                "^Porta %1 \\(Firebird\\) em 127\\.0\\.0\\.1: %2 em (<1|[1-9][0-9]*) ms$")
                .arg(form.PortaBanco)
                .arg(estado));
        QVERIFY2(forma.match(linhas[0]).hasMatch(), qPrintable(linhas[0]));
        QVERIFY(form.findChild<QPushButton*>(QStringLiteral("btnPing"))->isEnabled());
    }

    void fecharSoEsconde() {
        QWidget dono;
        QPointer<TFrmTesteConexao> form = new TFrmTesteConexao(&dono);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        QVERIFY(form->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(form);
        QVERIFY(form->isHidden());
        QCOMPARE(FrmTesteConexao, form.data());
        form->show(); // opened again, same lines and counter
        QVERIFY(form->isVisible());
        delete form.data();
        QCOMPARE(FrmTesteConexao, nullptr);
    }
};

QTEST_MAIN(TstTesteConexao)
#include "tst_testeconexao.moc"
