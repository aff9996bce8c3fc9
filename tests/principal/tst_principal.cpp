// The main window built in this process for a temporary installation folder (the constructor
// takes the program's path), with real files and a real module stand-in.
#include "common/Plataforma.h"
#include "common/Texto.h"
#include "menu/Menu.h"
#include "principal/Principal.h"
#include "support/Instalacao.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <memory>

#ifndef Q_OS_WIN
#include <csignal>
#endif

namespace {

const QByteArray kSecao = "[BOT\xD5"
                          "ES]\r\n";
const QByteArray kNao = "N\xE3o";

// Every byte of a literal, NULs included.
template <size_t N> QByteArray Bytes(const char (&texto)[N]) {
    return QByteArray(texto, qsizetype(N - 1));
}

QList<QPushButton*> Botoes(const TFrmPrincipal& janela) {
    return janela.findChild<QWidget*>(QStringLiteral("PnlBotoes"))
        ->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly);
}

QPushButton* BotaoDe(const TFrmPrincipal& janela, const QString& hint) {
    for (QPushButton* b : Botoes(janela))
        if (TFrmPrincipal::Hint(b) == hint)
            return b;
    return nullptr;
}

// "HINT@top" for each button the window shows, from the top down.
QStringList Visiveis(const TFrmPrincipal& janela) {
    QList<QPushButton*> botoes = Botoes(janela);
    botoes.removeIf([](QPushButton* b) { return b->isHidden(); });
    std::sort(botoes.begin(), botoes.end(),
              [](QPushButton* a, QPushButton* b) { return a->y() < b->y(); });
    QStringList r;
    for (QPushButton* b : botoes)
        r.append(TFrmPrincipal::Hint(b) + u'@' + QString::number(b->y()));
    return r;
}

QStringList Modulos(std::initializer_list<int> numeros) {
    QStringList r;
    for (int n : numeros)
        r.append(QStringLiteral("VELTOM%1.EXE").arg(n, 2, 10, QLatin1Char('0')));
    return r;
}

// Lines of the stand-ins' log: name, process id, database, current folder.
QList<QStringList> LinhasDoLog(const Instalacao& inst) {
    QList<QStringList> r;
    const QString texto = QString::fromUtf8(inst.Le(QStringLiteral("MODULOS.LOG")));
    for (const QString& linha : texto.split(u'\n', Qt::SkipEmptyParts))
        r.append(linha.split(u'\t'));
    return r;
}

void EncerraProcesso(qint64 pid) {
    if (pid <= 0)
        return;
#ifdef Q_OS_WIN
    QProcess::execute(QStringLiteral("taskkill"),
                      {QStringLiteral("/F"), QStringLiteral("/PID"), QString::number(pid)});
#else
    ::kill(pid_t(pid), SIGTERM);
#endif
}

} // namespace

class TstPrincipal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Which buttons show, where, and the window's height, by edition, installed files and
    // VELTO.INI. A name ending in '/' is made a folder.
    void botoes_data() {
        QTest::addColumn<QString>("pasta");
        QTest::addColumn<QStringList>("arquivos");
        QTest::addColumn<QByteArray>("velto"); // empty: no VELTO.INI
        QTest::addColumn<QStringList>("visiveis");
        QTest::addColumn<int>("altura");

        const QStringList tres = Modulos({1, 3, 12});
        QTest::newRow("três módulos, sem VELTO.INI")
            << "EMPRESA" << tres << QByteArray()
            << QStringList{"VELTOM01.EXE@7", "VELTOM03.EXE@47", "VELTOM12.EXE@87"} << 284;
        QTest::newRow("VELTOM03.EXE=Não")
            << "EMPRESA" << tres << kSecao + "VELTOM03.EXE=" + kNao + "\r\n"
            << QStringList{"VELTOM01.EXE@7", "VELTOM12.EXE@47"} << 244;
        QTest::newRow("=sim em minúsculas esconde")
            << "EMPRESA" << tres << kSecao + "VELTOM03.EXE=sim\r\n"
            << QStringList{"VELTOM01.EXE@7", "VELTOM12.EXE@47"} << 244;
        QTest::newRow("=Sim mostra, =SIM esconde")
            << "EMPRESA" << tres << kSecao + "VELTOM03.EXE=Sim\r\nVELTOM12.EXE=SIM\r\n"
            << QStringList{"VELTOM01.EXE@7", "VELTOM03.EXE@47"} << 244;
        QTest::newRow("valor vazio esconde")
            << "EMPRESA" << tres << kSecao + "VELTOM01.EXE=\r\n"
            << QStringList{"VELTOM03.EXE@7", "VELTOM12.EXE@47"} << 244;
        QTest::newRow("seção e chave sem caixa")
            << "EMPRESA" << tres
            << "[bot\xD5"
               "es]\nveltom03.exe=" +
                   kNao + "\n"
            << QStringList{"VELTOM01.EXE@7", "VELTOM12.EXE@47"} << 244;
        QTest::newRow("BOTOES sem til não é a seção")
            << "EMPRESA" << tres << "[BOTOES]\r\nVELTOM03.EXE=" + kNao + "\r\n"
            << QStringList{"VELTOM01.EXE@7", "VELTOM03.EXE@47", "VELTOM12.EXE@87"} << 284;
        QTest::newRow("VELTO.INI de lixo binário")
            << "EMPRESA" << tres << QByteArray("\x00\xFF[\x01=\x80\r\n\x00\x00", 10)
            << QStringList{"VELTOM01.EXE@7", "VELTOM03.EXE@47", "VELTOM12.EXE@87"} << 284;
        // Bad files: the rule still holds (exactly "Sim" shows, a missing key reads "Sim").
        const QStringList todos = {"VELTOM01.EXE@7", "VELTOM03.EXE@47", "VELTOM12.EXE@87"};
        const QStringList sem03 = {"VELTOM01.EXE@7", "VELTOM12.EXE@47"};
        const auto acaso = [](quint32 semente, qsizetype tamanho) {
            QByteArray bytes(tamanho, Qt::Uninitialized);
            QRandomGenerator gerador(semente);
            gerador.fillRange(reinterpret_cast<quint32*>(bytes.data()), tamanho / 4);
            return bytes;
        };
        QTest::newRow("64 KiB ao acaso")
            << "EMPRESA" << tres << acaso(1, 64 * 1024) << todos << 284;
        QTest::newRow("só bytes NUL")
            << "EMPRESA" << tres << QByteArray(4096, '\0') << todos << 284;
        // A NUL at the end of a value is trimmed like a blank; inside it the value is another.
        QTest::newRow("NUL no fim e no meio do valor")
            << "EMPRESA" << tres << kSecao + Bytes("VELTOM01.EXE=Sim\0\r\nVELTOM03.EXE=S\0im\r\n")
            << QStringList{"VELTOM01.EXE@7", "VELTOM12.EXE@47"} << 244;
        QTest::newRow("NUL no nome da seção") << "EMPRESA" << tres
                                              << Bytes("[BOT\0\xD5"
                                                       "ES]\r\nVELTOM03.EXE=N\xE3o\r\n")
                                              << todos << 284;
        QTest::newRow("10 MB antes da seção")
            << "EMPRESA" << tres
            << "[LIXO]\r\n" +
                   QByteArray("CHAVE=enchimento de dez megabytes\r\n")
                       .repeated(10 * 1024 * 1024 / 35) +
                   kSecao + "VELTOM03.EXE=" + kNao + "\r\n"
            << sem03 << 244;
        QTest::newRow("valor de 10 MB")
            << "EMPRESA" << tres
            << kSecao + "VELTOM03.EXE=Sim" + QByteArray(10 * 1024 * 1024, 'm') + "\r\n"
            << sem03 << 244;
        QTest::newRow("linhas terminadas só em CR") << "EMPRESA" << tres
                                                    << "[BOT\xD5"
                                                       "ES]\rVELTOM01.EXE=Sim\rVELTOM03.EXE=" +
                                                           kNao + "\rVELTOM12.EXE=Sim\r"
                                                    << sem03 << 244;
        QTest::newRow("seção válida entre lixo")
            << "EMPRESA" << tres
            << acaso(2, 16 * 1024) + "\r\n" + kSecao + "VELTOM03.EXE=" + kNao +
                   "\r\nVELTOM12.EXE=Sim\r\n" + acaso(3, 16 * 1024)
            << sem03 << 244;
        QTest::newRow("VELTO.INI que é uma pasta")
            << "EMPRESA" << QStringList{"VELTOM01.EXE", "VELTO.INI/"} << QByteArray()
            << QStringList{"VELTOM01.EXE@7"} << 204;
        QTest::newRow("pasta com nome de módulo não conta")
            << "EMPRESA" << QStringList{"VELTOM01.EXE", "VELTOM03.EXE/", "VELTOM12.EXE"}
            << QByteArray() << QStringList{"VELTOM01.EXE@7", "VELTOM12.EXE@47"} << 244;
#ifndef Q_OS_WIN // file names are case-blind there: veltom01.exe is VELTOM01.EXE
        QTest::newRow("nome do arquivo em minúsculas não conta")
            << "EMPRESA" << QStringList{"veltom01.exe", "VELTOM03.EXE"} << QByteArray()
            << QStringList{"VELTOM03.EXE@7"} << 204;
#endif
        QTest::newRow("pasta empresa em minúsculas")
            << "empresa" << Modulos({2}) << QByteArray() << QStringList{"VELTOM02.EXE@7"} << 204;
        QTest::newRow("empresa completa")
            << "EMPRESA" << Modulos({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}) << QByteArray()
            << QStringList{"VELTOM01.EXE@7",   "VELTOM02.EXE@47",  "VELTOM03.EXE@87",
                           "VELTOM04.EXE@127", "VELTOM05.EXE@167", "VELTOM06.EXE@207",
                           "VELTOM07.EXE@247", "VELTOM08.EXE@287", "VELTOM09.EXE@327",
                           "VELTOM10.EXE@367", "VELTOM11.EXE@407", "VELTOM12.EXE@447"}
            << 644;
        QTest::newRow("empresa com módulos de cartório")
            << "EMPRESA" << Modulos({13, 14, 21, 22}) << QByteArray() << QStringList{} << 164;
        QTest::newRow("cartório: VELTOM13.EXE, chave VELTOM01.EXE não conta")
            << "CARTORIO" << Modulos({13}) << kSecao + "VELTOM01.EXE=" + kNao + "\r\n"
            << QStringList{"VELTOM13.EXE@7"} << 204;
        QTest::newRow("cartório: chave VELTOM13.EXE esconde")
            << "CARTORIO" << Modulos({13}) << kSecao + "VELTOM13.EXE=" + kNao + "\r\n"
            << QStringList{} << 164;
        QTest::newRow("cartório só com módulo de empresa")
            << "CARTORIO" << Modulos({1, 2, 4}) << QByteArray() << QStringList{} << 164;
        QTest::newRow("cartório completo")
            << "CARTORIO" << Modulos({13, 14, 15, 16, 17, 18, 19, 20, 21, 22}) << QByteArray()
            << QStringList{"VELTOM13.EXE@7",   "VELTOM21.EXE@47",  "VELTOM22.EXE@87",
                           "VELTOM14.EXE@127", "VELTOM15.EXE@167", "VELTOM16.EXE@207",
                           "VELTOM17.EXE@247", "VELTOM18.EXE@287", "VELTOM19.EXE@327",
                           "VELTOM20.EXE@367"}
            << 564;
        QTest::newRow("pasta Cartório") << u"Cartório"_qs << Modulos({14, 22}) << QByteArray()
                                        << QStringList{"VELTOM22.EXE@7", "VELTOM14.EXE@47"} << 244;
        QTest::newRow("sete letras quaisquer") << "ABCDEFG" << Modulos({1, 13}) << QByteArray()
                                               << QStringList{"VELTOM01.EXE@7"} << 204;
        QTest::newRow("sem edição")
            << "SUITE" << Modulos({1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                   12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22})
            << QByteArray() << QStringList{} << 164;
    }
    void botoes() {
        QFETCH(QString, pasta);
        QFETCH(QStringList, arquivos);
        QFETCH(QByteArray, velto);
        QFETCH(QStringList, visiveis);
        QFETCH(int, altura);
        const Instalacao inst(pasta);
        for (const QString& a : arquivos) {
            if (a.endsWith(u'/'))
                QVERIFY(QDir().mkpath(inst.Caminho(a)));
            else
                inst.Grava(a, "MZ");
        }
        if (!velto.isEmpty())
            inst.Grava(QStringLiteral("VELTO.INI"), velto);

        const TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
        QCOMPARE(Visiveis(janela), visiveis);
        QCOMPARE(janela.size(), QSize(309, altura));
        QCOMPARE(janela.minimumSize(), janela.maximumSize());
        for (QPushButton* b : Botoes(janela)) {
            QCOMPARE(b->isEnabled(), !b->isHidden());
            if (!b->isHidden())
                QCOMPARE(b->x(), 35);
        }
        // Reading VELTO.INI changes nothing in it.
        QCOMPARE(inst.Le(QStringLiteral("VELTO.INI")), velto);
    }

    // The registry-office edition takes its executables into the three shared buttons only
    // when they are installed.
    void dicasCartorio() {
        const Instalacao inst(QStringLiteral("CARTORIO"));
        inst.Grava(QStringLiteral("VELTOM21.EXE"), "MZ");
        const TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
        const auto dica = [&](const char* nome) {
            return TFrmPrincipal::Hint(janela.findChild<QPushButton*>(QLatin1String(nome)));
        };
        QCOMPARE(dica("FltBtnAdministracao"), QStringLiteral("VELTOM01.EXE"));
        QCOMPARE(dica("FltBtnFinanceiro"), QStringLiteral("VELTOM21.EXE"));
        QCOMPARE(dica("FltBtnCaixa"), QStringLiteral("VELTOM04.EXE"));
        QCOMPARE(Visiveis(janela), QStringList{"VELTOM21.EXE@7"});
    }

    // The 19 module buttons as designed: caption (blanks and accelerator included), the
    // executable they carry, the cursor, and nothing shown as a tooltip.
    void desenhoDosBotoes_data() {
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("legenda");
        QTest::addColumn<bool>("mao");
        const auto b = [](int n) { return QString(n, u' '); };
        QTest::newRow("01") << "VELTOM01.EXE" << u"&Administração do Sistema"_qs << true;
        QTest::newRow("02") << "VELTOM02.EXE" << u"&Financeiro"_qs + b(23) << true;
        QTest::newRow("03") << "VELTOM03.EXE" << u"&Estoque"_qs + b(26) << true;
        QTest::newRow("04") << "VELTOM04.EXE" << u"&Caixa"_qs + b(30) << true;
        QTest::newRow("05") << "VELTOM05.EXE" << u"&SAC"_qs + b(32) << true;
        QTest::newRow("06") << "VELTOM06.EXE" << u"Ser&viço"_qs + b(27) << true;
        QTest::newRow("07") << "VELTOM07.EXE" << u"Centro Auto&motivo"_qs + b(12) << true;
        QTest::newRow("08") << "VELTOM08.EXE" << u"Agro&negócios"_qs + b(18) << true;
        QTest::newRow("09") << "VELTOM09.EXE" << u"&Produção Animal"_qs + b(14) << true;
        QTest::newRow("10") << "VELTOM10.EXE" << u"Volta às A&ulas"_qs + b(17) << true;
        QTest::newRow("11") << "VELTOM11.EXE" << u"NF - Eletrônica"_qs + b(16) << true;
        QTest::newRow("12") << "VELTOM12.EXE" << u"&Vendas"_qs + b(27) << true;
        QTest::newRow("14") << "VELTOM14.EXE" << u"&Nascimento"_qs + b(21) << true;
        QTest::newRow("15") << "VELTOM15.EXE" << u"&Casamento"_qs + b(22) << true;
        QTest::newRow("16") << "VELTOM16.EXE" << u"Óbit&o"_qs + b(30) << true;
        QTest::newRow("17") << "VELTOM17.EXE" << u"&Firma"_qs + b(30) << true;
        QTest::newRow("18") << "VELTOM18.EXE" << u"&Tabelionato"_qs + b(21) << false;
        QTest::newRow("19") << "VELTOM19.EXE" << u"Tít&ulos"_qs + b(30) << false;
        QTest::newRow("20") << "VELTOM20.EXE" << u"Livro &E"_qs + b(28) << true;
    }
    void desenhoDosBotoes() {
        QFETCH(QString, hint);
        QFETCH(QString, legenda);
        QFETCH(bool, mao);
        const Instalacao inst(QStringLiteral("SUITE"));
        const TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
        QCOMPARE(Botoes(janela).size(), 19);
        QPushButton* botao = BotaoDe(janela, hint);
        QVERIFY(botao);
        QCOMPARE(botao->text(), legenda);
        QCOMPARE(botao->cursor().shape(), mao ? Qt::PointingHandCursor : Qt::ArrowCursor);
        QCOMPARE(botao->size(), QSize(230, 33));
        QVERIFY(botao->font().bold());
        QCOMPARE(botao->iconSize(), QSize(24, 24));
        QVERIFY(!botao->icon().isNull());
        // The picture is there and readable, though read only when drawn.
        QCOMPARE(botao->icon().pixmap(QSize(24, 24)).size(), QSize(24, 24));
        QVERIFY(botao->toolTip().isEmpty());
        QVERIFY(botao->isHidden());
    }

    // Tab walks the module buttons in the designed order, then the server selector; the
    // mirror list and the settings button are never reached.
    void ordemDeTabulacao() {
        const Instalacao inst(QStringLiteral("SUITE"));
        const TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
        QStringList ordem;
        QWidget* w = janela.findChild<QPushButton*>(QStringLiteral("FltBtnAdministracao"));
        for (int i = 0; i < 200 && ordem.size() < 20; ++i, w = w->nextInFocusChain()) {
            if (!(w->focusPolicy() & Qt::TabFocus))
                continue;
            const QString hint = TFrmPrincipal::Hint(w);
            ordem.append(hint.isEmpty() ? w->objectName() : hint);
        }
        QCOMPARE(ordem,
                 (Modulos({1, 2, 3, 4, 5, 6, 7, 9, 8, 10, 11, 14, 15, 16, 17, 18, 19, 20, 12})
                  << QStringLiteral("FltCbxApelidoServidor")));
        QVERIFY(!(janela.CbboxServidor()->focusPolicy() & Qt::TabFocus));
        QVERIFY(!(janela.findChild<QToolButton*>(QStringLiteral("SpdBtnMenu"))->focusPolicy() &
                  Qt::TabFocus));
    }

    void janela() {
        const Instalacao inst(QStringLiteral("SUITE"));
        TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
        QCOMPARE(FrmPrincipal, &janela);
        QCOMPARE(janela.windowTitle(), QStringLiteral("Velto "));
        QCOMPARE(janela.size(), QSize(309, 164));
        QCOMPARE(janela.minimumSize(), QSize(309, 164));
        QCOMPARE(janela.maximumSize(), QSize(309, 164));
        QVERIFY(!(janela.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(janela.windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(janela.CbboxServidor()->x(), 354);
        QCOMPARE(janela.findChild<QToolButton*>(QStringLiteral("SpdBtnMenu"))->toolTip(),
                 u"Configurações"_qs);
        QCOMPARE(janela.findChild<QLabel*>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("Servidor em uso"));
        QCOMPARE(janela.findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().size(),
                 QSize(301, 72));
        QVERIFY(!janela.findChild<QToolButton*>(QStringLiteral("SpdBtnMenu"))
                     ->icon()
                     .pixmap(QSize(16, 16))
                     .isNull());
        QVERIFY(!janela.windowIcon().pixmap(QSize(32, 32)).isNull());
        QCOMPARE(janela.LblIP()->text(), QString());
        QCOMPARE(janela.findChild<QLabel*>(QStringLiteral("LblVersao"))->text(),
                 u"Versão 3.1.1.0"_qs);

        janela.show();
        QVERIFY(QTest::qWaitForWindowExposed(&janela));
        // The mirror list lies beyond the right edge, where nobody sees it.
        QVERIFY(janela.CbboxServidor()->x() >= janela.width());
        QCOMPARE(janela.findChild<QWidget*>(QStringLiteral("PnlTopo"))->height(), 72);
        QCOMPARE(janela.findChild<QWidget*>(QStringLiteral("PnlBase"))->height(), 55);
        QCOMPARE(janela.findChild<QLabel*>(QStringLiteral("LblVersao"))->text(),
                 u"Versão 3.2.1.00"_qs);
        QCOMPARE(TFrmPrincipal::GetBuildInfo(), QStringLiteral("3.2.1.00"));
    }

    void campos_data() {
        QTest::addColumn<QString>("pasta");
        QTest::addColumn<QString>("nomePasta");
        QTest::newRow("EMPRESA") << "EMPRESA"
                                 << "EMPRESA";
        QTest::newRow("empresa") << "empresa"
                                 << "EMPRESA";
        QTest::newRow("Cartório") << u"Cartório"_qs << u"CARTóRIO"_qs;
        QTest::newRow("com brancos") << " a b "
                                     << " A B ";
    }
    void campos() {
        QFETCH(QString, pasta);
        QFETCH(QString, nomePasta);
        const Instalacao inst(pasta);
        {
            const TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
            QCOMPARE(janela.NomePasta, nomePasta);
            QCOMPARE(janela.TituloMensagem, QStringLiteral("Gerenciador"));
#ifdef Q_OS_WIN
            QCOMPARE(janela.PastaPrograma,
                     MaiusculasAscii(QDir::toNativeSeparators(inst.Pasta())) + u'\\');
#else
            // The folder as the file system spells it: the files are found there.
            QCOMPARE(janela.PastaPrograma, inst.Pasta() + u'/');
#endif
            QCOMPARE(janela.CapturaNomePasta(janela.PastaPrograma), QString());
        }
        QVERIFY(!FrmPrincipal);
    }

    // A click starts the module as a process of its own, from the program's folder, and puts
    // the launcher aside; a second click starts it again.
    void cliqueIniciaModulo() {
        const QString modulo = qEnvironmentVariable("GERENCIADOR_MODULO");
        QVERIFY2(!modulo.isEmpty(), "GERENCIADOR_MODULO não definido");
        const Instalacao inst(QStringLiteral("pasta com brancos/CARTORIO"));
        // The stand-ins started here end with the test, also when it fails.
        const auto encerra = qScopeGuard([&inst] {
            for (const QStringList& l : LinhasDoLog(inst))
                EncerraProcesso(l.value(1).toLongLong());
        });
        QVERIFY(QFile::copy(modulo, inst.Caminho(QStringLiteral("VELTOM13.EXE"))));
        inst.Grava(QStringLiteral("DBXCONNECTIONS.INI"),
                   "[EMPRESA]\r\nDatabase=ERRADO\r\n[CART\xD3RIO]\r\nDriverName=Firebird\r\n"
                   "Database=SRV:/VELTOGDB/CARTORIO/CARTORIO.FDB\r\n");
        TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
        janela.show();
        QVERIFY(QTest::qWaitForWindowExposed(&janela));
        QPushButton* botao = janela.findChild<QPushButton*>(QStringLiteral("FltBtnAdministracao"));
        QVERIFY(botao && !botao->isHidden());

        QTest::mouseClick(botao, Qt::LeftButton);
        QVERIFY(janela.isMinimized());
        QVERIFY(!QApplication::overrideCursor());
        QTRY_COMPARE_WITH_TIMEOUT(LinhasDoLog(inst).size(), 1, 60000);
        botao->click();
        QTRY_COMPARE_WITH_TIMEOUT(LinhasDoLog(inst).size(), 2, 60000);

        const QList<QStringList> linhas = LinhasDoLog(inst);
        for (const QStringList& l : linhas) {
            QCOMPARE(l.size(), 4);
            QCOMPARE(l[0], QStringLiteral("VELTOM13.EXE"));
            QCOMPARE(l[2], QStringLiteral("SRV:/VELTOGDB/CARTORIO/CARTORIO.FDB"));
            // No working folder is given: the module inherits ours.
            QCOMPARE(l[3], QDir::currentPath());
        }
        QVERIFY(linhas[0][1] != linhas[1][1]);
    }

    // A module that cannot start is not reported, and the cursor comes back.
    void moduloQueNaoInicia() {
        const Instalacao inst(QStringLiteral("EMPRESA"));
        inst.Grava(QStringLiteral("VELTOM01.EXE"), "nem programa");
        TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
        janela.show();
        QVERIFY(QTest::qWaitForWindowExposed(&janela));
        janela.findChild<QPushButton*>(QStringLiteral("FltBtnAdministracao"))->click();
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(janela.isMinimized());
    }

    // Escape closes the window whichever control has the focus; other keys do not.
    void tecla_data() {
        QTest::addColumn<QString>("controle");
        QTest::addColumn<int>("tecla");
        QTest::addColumn<bool>("fecha");
        QTest::newRow("Escape no botão") << "FltBtnAdministracao" << int(Qt::Key_Escape) << true;
        QTest::newRow("Escape na lista") << "FltCbxApelidoServidor" << int(Qt::Key_Escape) << true;
        QTest::newRow("Escape na janela") << "" << int(Qt::Key_Escape) << true;
        QTest::newRow("Escape no espelho") << "CbboxServidor" << int(Qt::Key_Escape) << true;
        QTest::newRow("Enter na lista") << "FltCbxApelidoServidor" << int(Qt::Key_Return) << false;
        QTest::newRow("letra") << "FltCbxApelidoServidor" << int(Qt::Key_A) << false;
    }
    void tecla() {
        QFETCH(QString, controle);
        QFETCH(int, tecla);
        QFETCH(bool, fecha);
        const Instalacao inst(QStringLiteral("EMPRESA"));
        inst.Grava(QStringLiteral("VELTOM01.EXE"), "MZ");
        TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
        janela.show();
        QVERIFY(QTest::qWaitForWindowActive(&janela));
        QWidget* alvo = controle.isEmpty() ? &janela : janela.findChild<QWidget*>(controle);
        QVERIFY(alvo);
        alvo->setFocus();
        QTest::keyClick(alvo, Qt::Key(tecla));
        QCOMPARE(janela.isVisible(), !fecha);
    }

    // Alt+letter clicks a button; when two visible buttons share the letter, the first in the
    // table's order (the higher one) is clicked, not merely focused.
    void letraAlt_data() {
        QTest::addColumn<QString>("pasta");
        QTest::addColumn<QList<int>>("modulos");
        QTest::addColumn<int>("tecla");
        QTest::addColumn<QString>("clicado");
        QTest::newRow("Serviço antes de Vendas")
            << "EMPRESA" << QList<int>{6, 12} << int(Qt::Key_V) << "VELTOM06.EXE";
        QTest::newRow("Vendas sozinho")
            << "EMPRESA" << QList<int>{12} << int(Qt::Key_V) << "VELTOM12.EXE";
        QTest::newRow("Caixa antes de Casamento")
            << "CARTORIO" << QList<int>{22, 15} << int(Qt::Key_C) << "VELTOM22.EXE";
        QTest::newRow("Financeiro antes de Firma")
            << "CARTORIO" << QList<int>{21, 17} << int(Qt::Key_F) << "VELTOM21.EXE";
        QTest::newRow("Firma sozinha")
            << "CARTORIO" << QList<int>{17} << int(Qt::Key_F) << "VELTOM17.EXE";
    }
    void letraAlt() {
        QFETCH(QString, pasta);
        QFETCH(QList<int>, modulos);
        QFETCH(int, tecla);
        QFETCH(QString, clicado);
        const Instalacao inst(pasta);
        for (int n : modulos)
            inst.Grava(Modulos({n}).at(0), "nem programa");
        TFrmPrincipal janela(inst.Caminho(QStringLiteral("Gerenciador")));
        QStringList cliques;
        for (QPushButton* b : Botoes(janela))
            connect(b, &QPushButton::clicked, &janela,
                    [&cliques, b] { cliques.append(TFrmPrincipal::Hint(b)); });
        janela.show();
        QVERIFY(QTest::qWaitForWindowActive(&janela));
        QTest::keyClick(&janela, Qt::Key(tecla), Qt::AltModifier);
        QTRY_COMPARE(cliques, QStringList{clicado});
        QTest::qWait(50);
        QCOMPARE(cliques, QStringList{clicado});
    }

    void posicaoMenu_data() {
        QTest::addColumn<QPoint>("janela");
        QTest::addColumn<QPoint>("menu"); // left, top
        QTest::newRow("100, 50") << QPoint(100, 50) << QPoint(414, 80);
        QTest::newRow("origem") << QPoint(0, 0) << QPoint(314, 30);
        QTest::newRow("fora da tela à esquerda") << QPoint(-40, 600) << QPoint(274, 630);
    }
    void posicaoMenu() {
        QFETCH(QPoint, janela);
        QFETCH(QPoint, menu);
        const Instalacao inst(QStringLiteral("EMPRESA"));
        inst.Grava(QStringLiteral("VELTOM01.EXE"), "MZ"); // a taller window: same result
        TFrmPrincipal principal(inst.Caminho(QStringLiteral("Gerenciador")));
        principal.move(janela);
        principal.PosicaoFormMenu();
        QCOMPARE(QPoint(principal.EsquerdaMenu, principal.TopoMenu), menu);

        // The settings button computes the same place and opens the panel there; closed, the
        // panel is gone.
        principal.TopoMenu = principal.EsquerdaMenu = 0;
        const int janelasAntes = QApplication::topLevelWidgets().size();
        QPoint aberto;
        QTimer fecha;
        fecha.setSingleShot(true);
        connect(&fecha, &QTimer::timeout, [&] {
            if (FrmMenu) {
                aberto = FrmMenu->pos();
                FrmMenu->close();
            }
        });
        fecha.start(0);
        principal.findChild<QToolButton*>(QStringLiteral("SpdBtnMenu"))->click();
        QCOMPARE(QPoint(principal.EsquerdaMenu, principal.TopoMenu), menu);
        QCOMPARE(aberto, menu);
        QCOMPARE(FrmMenu, nullptr);
        QCOMPARE(QApplication::topLevelWidgets().size(), janelasAntes);
    }
};

QTEST_MAIN(TstPrincipal)
#include "tst_principal.moc"
