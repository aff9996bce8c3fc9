// The ping form on its own, where no echo is sent: its controls, the attempts box, the default
// button and closing. Runs with echoes are in tst_pingreal.
#include "conexoes/CaixaNumero.h"
#include "conexoes/TesteConexao.h"
#include "support/GravadorMensagens.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
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
