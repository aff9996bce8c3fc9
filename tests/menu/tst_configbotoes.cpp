// The module-button dialog on a real VELTO.INI: what it loads and writes back when it opens,
// one write per click on the file as it is at that moment, refused writes, and its opening
// from the settings panel.
#include "common/ArquivoIni.h"
#include "menu/Botoes.h"
#include "menu/Menu.h"
#include "principal/Principal.h"
#include "support/GravadorMensagens.h"
#include "support/Instalacao.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

const QStringList kEmpresa = {"VELTOM01.EXE", "VELTOM02.EXE", "VELTOM03.EXE", "VELTOM04.EXE",
                              "VELTOM06.EXE", "VELTOM07.EXE", "VELTOM09.EXE", "VELTOM10.EXE",
                              "VELTOM11.EXE", "VELTOM12.EXE"};
const QStringList kCartorio = {"VELTOM13.EXE", "VELTOM14.EXE", "VELTOM15.EXE", "VELTOM16.EXE",
                               "VELTOM17.EXE", "VELTOM18.EXE", "VELTOM20.EXE"};

QStringList Todas() {
    return kEmpresa + kCartorio;
}

QString Le(const QString& arquivo, const QString& chave) {
    return ArquivoIni(arquivo).LeTexto(u"BOTÕES"_qs, chave, u"<nada>"_qs);
}

// The hints of the checked boxes.
QStringList Marcadas(const TFrmConfigBotoes& d) {
    QStringList r;
    for (const QCheckBox* c : d.Caixas())
        if (c->isChecked())
            r.append(HintCaixa(c));
    return r;
}

QCheckBox* Caixa(const TFrmConfigBotoes& d, const QString& hint) {
    for (QCheckBox* c : d.Caixas())
        if (HintCaixa(c) == hint)
            return c;
    return nullptr;
}

// A click on the box's square.
void Clica(QCheckBox* c) {
    QTest::mouseClick(c, Qt::LeftButton, {}, QPoint(8, c->height() / 2));
}

void ApenasLeitura(const QString& caminho, bool sim) {
    QFile::setPermissions(caminho, sim ? QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther |
                                             QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther
                                       : QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                             QFile::ReadGroup | QFile::ReadOther);
}

} // namespace

class TstConfigBotoes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Loading: "Sim" or nothing checks a box and writes "Sim" back; anything else leaves the
    // box unchecked and the file's line as it was.
    void carga_data() {
        QTest::addColumn<QByteArray>("velto"); // absent: no file
        QTest::addColumn<QStringList>("desmarcadas");
        QTest::addColumn<QByteArray>("trecho"); // bytes that must survive the opening
        QTest::newRow("sem arquivo") << QByteArray() << QStringList() << QByteArray();
        QTest::newRow("Não e valores estranhos")
            << QByteArray("; config\r\n[Bot\xD5"
                          "ES]\r\nveltom03.exe = N\xE3o\r\n"
                          "VELTOM14.EXE=sim\r\nVELTOM16.EXE=\r\nVELTOM01.EXE=Sim\r\n"
                          "[OUTRA]\r\nX=1\r\n")
            << QStringList{"VELTOM03.EXE", "VELTOM14.EXE", "VELTOM16.EXE"}
            << QByteArray("veltom03.exe = N\xE3o\r\nVELTOM14.EXE=sim\r\nVELTOM16.EXE=\r\n");
        QTest::newRow("tudo Não") << [] {
            QByteArray b = "[BOT\xD5"
                           "ES]\r\n";
            for (const QString& k : Todas())
                b += k.toLatin1() + "=N\xE3o\r\n";
            return b;
        }() << Todas() << QByteArray();
    }
    void carga() {
        QFETCH(QByteArray, velto);
        QFETCH(QStringList, desmarcadas);
        QFETCH(QByteArray, trecho);
        Instalacao inst;
        const QString arquivo = inst.Caminho(u"VELTO.INI"_qs);
        if (!velto.isEmpty())
            inst.Grava(u"VELTO.INI"_qs, velto);
        GravadorMensagens caixas;
        QWidget dono;
        TFrmConfigBotoes d(&dono, arquivo);
        QStringList marcadas = Todas();
        for (const QString& k : desmarcadas)
            marcadas.removeOne(k);
        QCOMPARE(Marcadas(d), marcadas);
        for (const QCheckBox* c : d.Caixas())
            QVERIFY(c->toolTip().isEmpty()); // the key is never shown
        for (const QString& k : marcadas)
            QCOMPARE(Le(arquivo, k), u"Sim"_qs);
        QVERIFY(inst.Le(u"VELTO.INI"_qs).contains(trecho));
        if (desmarcadas == Todas())
            QCOMPARE(inst.Le(u"VELTO.INI"_qs), velto); // nothing written
        QVERIFY(caixas.Pedidos().isEmpty());
    }

    // Each click writes at once to the file as it is then: another program's change made
    // while the dialog is open survives.
    void cliqueGravaNaHora() {
        Instalacao inst;
        const QString arquivo = inst.Caminho(u"VELTO.INI"_qs);
        GravadorMensagens caixas;
        QWidget dono;
        TFrmConfigBotoes d(&dono, arquivo);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        // Another program of the suite changes the file meanwhile.
        inst.Grava(u"VELTO.INI"_qs,
                   inst.Le(u"VELTO.INI"_qs).replace("VELTOM13.EXE=Sim", "VELTOM13.EXE=N\xE3o") +
                       "[CAIXA]\r\nTerminal=7\r\n");
        QCheckBox* estoque = Caixa(d, u"VELTOM03.EXE"_qs);
        QCOMPARE(estoque->text(), u"Estoque"_qs);
        Clica(estoque);
        QVERIFY(!estoque->isChecked());
        QCOMPARE(Le(arquivo, u"VELTOM03.EXE"_qs), u"Não"_qs);
        QCOMPARE(Le(arquivo, u"VELTOM13.EXE"_qs), u"Não"_qs);
        QCOMPARE(ArquivoIni(arquivo).LeTexto(u"CAIXA"_qs, u"Terminal"_qs), u"7"_qs);
        Clica(estoque);
        QCOMPARE(Le(arquivo, u"VELTOM03.EXE"_qs), u"Sim"_qs);
        QVERIFY(caixas.Pedidos().isEmpty());
    }

    // A write the file or its folder refuses reaches the general error display with the path;
    // the box keeps its new state and the file its content. While loading, the first refusal
    // ends the loading and the dialog still opens.
    void escritaRecusada_data() {
        QTest::addColumn<bool>("pasta"); // the folder read-only instead of the file
        QTest::addColumn<bool>("naCarga");
        QTest::newRow("arquivo, ao clicar") << false << false;
        QTest::newRow("arquivo, ao abrir") << false << true;
#ifndef Q_OS_WIN // a folder's read-only attribute does not stop writes on Windows
        QTest::newRow("pasta, ao clicar") << true << false;
        QTest::newRow("pasta, ao abrir") << true << true;
#endif
    }
    void escritaRecusada() {
        QFETCH(bool, pasta);
        QFETCH(bool, naCarga);
        Instalacao inst;
        const QString arquivo = inst.Caminho(u"VELTO.INI"_qs);
        QByteArray velto = "[BOT\xD5"
                           "ES]\r\n";
        // While loading: the first key is missing, so its write-back is the first write.
        for (const QString& k : naCarga ? Todas().mid(1) : Todas())
            velto += k.toLatin1() + "=Sim\r\n";
        inst.Grava(u"VELTO.INI"_qs, velto);
        const QString alvo = pasta ? inst.Pasta() : arquivo;
        ApenasLeitura(alvo, true);
        const auto devolve = qScopeGuard([&] { ApenasLeitura(alvo, false); });
        GravadorMensagens caixas;
        QWidget dono;
        TFrmConfigBotoes d(&dono, arquivo);
        const QString esperado = u"Unable to write to "_qs + QDir::toNativeSeparators(arquivo);
        if (naCarga) {
            QCOMPARE(Marcadas(d), QStringList{Todas().first()});
            QCOMPARE(caixas.Textos(), QStringList{esperado});
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
        } else {
            QCOMPARE(Marcadas(d), Todas());
            QVERIFY(caixas.Pedidos().isEmpty());
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            QCheckBox* estoque = Caixa(d, u"VELTOM03.EXE"_qs);
            Clica(estoque);
            QVERIFY(!estoque->isChecked());
            QCOMPARE(caixas.Textos(), QStringList{esperado});
        }
        QCOMPARE(caixas.Pedidos()[0].titulo, u"Gerenciador"_qs);
        QCOMPARE(caixas.Pedidos()[0].icone, IconeMensagem::Erro);
        QCOMPARE(inst.Le(u"VELTO.INI"_qs), velto);
    }

    // The dialog has no keys of its own: on a box, Escape and Return do nothing and Space
    // ticks the box (and writes it); "Fechar" closes.
    void fechar_data() {
        QTest::addColumn<int>("tecla");
        QTest::addColumn<QString>("valor"); // VELTOM01.EXE afterwards
        QTest::newRow("Escape") << int(Qt::Key_Escape) << "Sim";
        QTest::newRow("Return") << int(Qt::Key_Return) << "Sim";
        QTest::newRow("Enter do teclado numérico") << int(Qt::Key_Enter) << "Sim";
        QTest::newRow("Espaço desmarca") << int(Qt::Key_Space) << "Não";
    }
    void fechar() {
        QFETCH(int, tecla);
        QFETCH(QString, valor);
        Instalacao inst;
        GravadorMensagens caixas;
        QWidget dono;
        TFrmConfigBotoes d(&dono, inst.Caminho(u"VELTO.INI"_qs));
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QCheckBox* caixa = Caixa(d, u"VELTOM01.EXE"_qs);
        caixa->setFocus();
        QTest::keyClick(caixa, Qt::Key(tecla));
        QVERIFY(d.isVisible());
        QCOMPARE(Le(inst.Caminho(u"VELTO.INI"_qs), u"VELTOM01.EXE"_qs), valor);
        QTest::mouseClick(d.findChild<QPushButton*>(u"BtBtnFechar"_qs), Qt::LeftButton);
        QVERIFY(!d.isVisible());
    }

    // From the settings panel: placed at the main window + (314, 90), the page chosen by the
    // exact folder name EMPRESA, freed when closed, the panel still open.
    void pelaPainel_data() {
        QTest::addColumn<QString>("pasta");
        QTest::addColumn<QString>("pagina");
        QTest::newRow("EMPRESA") << "EMPRESA"
                                 << "TbShtEmpresa";
        QTest::newRow("empresa em minúsculas") << "empresa"
                                               << "TbShtEmpresa";
        QTest::newRow("CARTORIO") << "CARTORIO"
                                  << "TbShtCartorio";
        QTest::newRow("outro nome") << "SUITE"
                                    << "TbShtCartorio";
        QTest::newRow("sete letras") << "EMPRESX"
                                     << "TbShtCartorio";
    }
    void pelaPainel() {
        QFETCH(QString, pasta);
        QFETCH(QString, pagina);
        Instalacao inst(pasta);
        GravadorMensagens caixas;
        TFrmPrincipal janela(inst.Caminho(u"Gerenciador"_qs));
        janela.move(100, 50);
        janela.show();
        QVERIFY(QTest::qWaitForWindowExposed(&janela));
        QPoint onde;
        QString vista;
        bool modal = false, painelAberto = false, liberado = false;
        QTimer passo;
        passo.setSingleShot(true);
        connect(&passo, &QTimer::timeout, [&] {
            TFrmMenu* painel = FrmMenu;
            if (!painel)
                return;
            QTimer dentro;
            dentro.setSingleShot(true);
            connect(&dentro, &QTimer::timeout, [&] {
                if (!FrmConfigBotoes)
                    return;
                onde = FrmConfigBotoes->pos();
                vista = FrmConfigBotoes->findChild<QTabWidget*>()->currentWidget()->objectName();
                modal = QApplication::activeModalWidget() == FrmConfigBotoes;
                QTest::mouseClick(FrmConfigBotoes->findChild<QPushButton*>(u"BtBtnFechar"_qs),
                                  Qt::LeftButton);
            });
            dentro.start(0);
            auto* item = painel->findChild<QLabel*>(u"LblBotoes"_qs);
            QTest::mouseClick(item, Qt::LeftButton, {}, item->rect().center());
            liberado = FrmConfigBotoes == nullptr;
            painelAberto = painel->isVisible();
            painel->close();
        });
        passo.start(0);
        janela.findChild<QToolButton*>(u"SpdBtnMenu"_qs)->click();
        QCOMPARE(onde, QPoint(414, 140));
        QCOMPARE(vista, pagina);
        QVERIFY(modal);
        QVERIFY(liberado);
        QVERIFY(painelAberto);
        QVERIFY(caixas.Pedidos().isEmpty());
        // Both pages were loaded and written back, whichever one showed.
        for (const QString& k : Todas())
            QCOMPARE(Le(inst.Caminho(u"VELTO.INI"_qs), k), u"Sim"_qs);
    }
};

QTEST_MAIN(TstConfigBotoes)
#include "tst_configbotoes.moc"
