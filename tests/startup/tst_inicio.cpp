#include "common/Edicao.h"
#include "common/Plataforma.h"
#include "principal/Principal.h"
#include "startup/Inicio.h"
#include "support/GravadorMensagens.h"
#include "support/Instalacao.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

// A path written with '/' in the platform's own spelling.
QString Nativo(QString caminho) {
    return caminho.replace(u'/', Plataforma::Delimitador());
}

} // namespace

class TstInicio : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void edicao_data() {
        QTest::addColumn<QString>("nome");
        QTest::addColumn<QString>("titulo");
        QTest::newRow("EMPRESA") << "EMPRESA"
                                 << "VELTO Empresa";
        QTest::newRow("empresa") << "empresa"
                                 << "VELTO Empresa";
        QTest::newRow("CARTORIO") << "CARTORIO" << u"VELTO Cartório"_qs;
        QTest::newRow("Cartório: 8 caracteres") << u"Cartório"_qs << u"VELTO Cartório"_qs;
        QTest::newRow("CARTóRIO") << u"CARTóRIO"_qs << u"VELTO Cartório"_qs;
        QTest::newRow("ABCDEFG") << "ABCDEFG"
                                 << "VELTO Empresa";
        QTest::newRow("ABCDEFGH") << "ABCDEFGH" << u"VELTO Cartório"_qs;
        QTest::newRow("EMPRESAS: 8 letras") << "EMPRESAS" << u"VELTO Cartório"_qs;
        QTest::newRow("SUITE") << "SUITE"
                               << "VELTO ";
        QTest::newRow("raiz") << ""
                              << "VELTO ";
        QTest::newRow("só brancos") << "   "
                                    << "VELTO ";
        QTest::newRow("brancos contam só no tamanho") << " EMPRESA "
                                                      << "VELTO Empresa";
        QTest::newRow("CARTORIO com tab") << "\tCARTORIO" << u"VELTO Cartório"_qs;
        QTest::newRow("9 caracteres") << "ABCDEFGHI"
                                      << "VELTO ";
        QTest::newRow("6 caracteres") << "ABCDEF"
                                      << "VELTO ";
        QTest::newRow("nbsp não é aparado") << u"\u00A0ABCDEF"_qs << "VELTO Empresa";
    }
    void edicao() {
        QFETCH(QString, nome);
        QFETCH(QString, titulo);
        QCOMPARE(TituloPrincipal(EdicaoDaPasta(nome)), titulo);
    }

    void nomePasta_data() {
        QTest::addColumn<QString>("caminho");
        QTest::addColumn<QString>("nome");
        QTest::newRow("empresa") << "/suite/empresa/Gerenciador"
                                 << "EMPRESA";
        QTest::newRow("Cartório") << u"/d/Cartório/Gerenciador"_qs << u"CARTóRIO"_qs;
        QTest::newRow("raiz") << "/Gerenciador"
                              << "";
        QTest::newRow("sem delimitador") << "Gerenciador"
                                         << "";
        QTest::newRow("pasta com ponto") << "/a/v.e.l/G"
                                         << "V.E.L";
    }
    void nomePasta() {
        QFETCH(QString, caminho);
        QFETCH(QString, nome);
        QCOMPARE(NomePastaDoExecutavel(Nativo(caminho)), nome);
    }

    // The whole start in this process: the window is created under its design caption, takes
    // the edition's title afterwards, and closing it with Escape ends the loop.
    void execucao_data() {
        QTest::addColumn<QString>("pasta");
        QTest::addColumn<QString>("titulo");
        QTest::newRow("EMPRESA") << "EMPRESA"
                                 << "VELTO Empresa";
        QTest::newRow("Cartório") << u"Cartório"_qs << u"VELTO Cartório"_qs;
        QTest::newRow("SUITE") << "SUITE"
                               << "VELTO ";
    }
    void execucao() {
        QFETCH(QString, pasta);
        QFETCH(QString, titulo);
        const Instalacao inst(pasta);
        inst.Grava(QStringLiteral("VELTOM01.EXE"), "x");
        GravadorMensagens gravador;
        QString tituloVisto;
        bool visivel = false;
        QTimer::singleShot(0, [&] {
            QVERIFY(FrmPrincipal);
            tituloVisto = FrmPrincipal->windowTitle();
            visivel = FrmPrincipal->isVisible();
            QTest::keyClick(FrmPrincipal->FltCbxApelidoServidor(), Qt::Key_Escape);
        });
        QTimer guarda; // a window that does not close fails the test instead of hanging it
        guarda.setSingleShot(true);
        connect(&guarda, &QTimer::timeout, [] { QApplication::exit(99); });
        guarda.start(60000);
        QCOMPARE(ExecutaGerenciador(inst.Caminho(QStringLiteral("Gerenciador"))), 0);
        QCOMPARE(tituloVisto, titulo);
        QVERIFY(visivel);
        QVERIFY(!FrmPrincipal);
        QVERIFY(gravador.Pedidos().isEmpty());
    }

    // A copy of the same edition holds the lock: the box, and no window at all.
    void recusa() {
        const Instalacao inst(QStringLiteral("empresa"));
        Plataforma::InstanciaUnica outra(QStringLiteral("TFrmPrincipal"),
                                         QStringLiteral("VELTO Empresa"));
        QVERIFY(outra.Adquire());
        GravadorMensagens gravador;
        // Should a loop start after all, end it rather than hang.
        QTimer guarda;
        guarda.setSingleShot(true);
        connect(&guarda, &QTimer::timeout, [] { QApplication::exit(98); });
        guarda.start(0);
        QCOMPARE(ExecutaGerenciador(inst.Caminho(QStringLiteral("Gerenciador"))), 0);
        QCOMPARE(gravador.Pedidos().size(), 1);
        const PedidoMensagem& p = gravador.Pedidos().first();
        QCOMPARE(p.texto, u"Gerenciador VELTO já está sendo executado."_qs);
        QCOMPARE(p.titulo, QStringLiteral("Gerenciador VELTO"));
        QCOMPARE(p.icone, IconeMensagem::Informacao);
        QCOMPARE(p.botoes, BotoesMensagem::Ok);
        QVERIFY(!FrmPrincipal);
        QVERIFY(guarda.isActive()); // returned at once, without a loop
    }
};

QTEST_MAIN(TstInicio)
#include "tst_inicio.moc"
