#include "common/Configuracao.h"
#include "common/Plataforma.h"
#include "menu/FerramentasSuporte.h"
#include "menu/Progresso.h"
#include "menu/ThDownload.h"
#include "principal/Principal.h"
#include "support/GravadorMensagens.h"
#include "support/Instalacao.h"
#include "support/ServidorFtp.h"
#include "support/ServidorPagina.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>

using namespace FerramentasSuporte;

// An FTP server on 127.0.0.1 named `nome`, the panel over a new installation and the support
// account pointed at the server; the test skips, saying why, where the server cannot start.
#define SERVIDOR_E_PAINEL(nome, opcoes)                                                            \
    ServidorFtp nome(opcoes);                                                                      \
    if (!nome.Ouvindo())                                                                           \
        QSKIP(qPrintable(nome.Motivo()));                                                          \
    Prepara();                                                                                     \
    Conta(nome)

namespace {

#ifdef Q_OS_WIN
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

const QString kAviso = QStringLiteral("Servidor de atualizações não disponível no momento.\r"
                                      "Verifique sua conexão com a internet ou tente mais "
                                      "tarde.\r\rMensagem recebida:\r");
const QString kPastaRemoto = QStringLiteral("/httpdocs/Programas/Assistencia_remota");
const QString kPastaIBExpert = QStringLiteral("/httpdocs/Programas/Ibexpert");
// A surplus with no end as far as the client can tell: 256 MB beyond the announced size.
constexpr qint64 kSobraSemFim = qint64(256) << 20;

QByteArray Aleatorios(qsizetype n) {
    QByteArray b(n, Qt::Uninitialized);
    auto* g = QRandomGenerator::global();
    for (qsizetype i = 0; i < n; ++i)
        b[i] = char(g->bounded(256));
    return b;
}

QByteArray ModuloFalso() {
    QFile f(CaminhoModuloFalso());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The stand-in followed by 1 MB it never reads: still a program that runs (the system loads
// what its headers name), and larger than any cut below in every build type (the stand-in
// alone is 57 KB in a Release build).
QByteArray ModuloGrande() {
    const QByteArray modulo = ModuloFalso();
    return modulo.isEmpty() ? modulo : modulo + Aleatorios(1 << 20);
}

// Addresses the desktop is asked to open, caught before any browser would see them.
class Navegador : public QObject {
    Q_OBJECT
public:
    Navegador() {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "Abre");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "Abre");
    }
    ~Navegador() override {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }
    QStringList abertos;
public Q_SLOTS:
    void Abre(const QUrl& url) { abertos.append(url.toString()); }
};

// One of the two FTP items, with where it keeps its program in an installation.
struct Item {
    QString pastaRemota;
    QString arquivo;
    std::function<QString(const Instalacao&)> local;
    std::function<void(QDialog*, const Instalacao&)> clique;
    QString discoPequeno = {}; // a folder of the installation on a disk of 64 KB
};

Item SuporteRemotoItem() {
    return {kPastaRemoto, QStringLiteral("Suporte_vestranox.exe"),
            [](const Instalacao& i) { return i.Caminho(QStringLiteral("Suporte_vestranox.exe")); },
            [](QDialog* p, const Instalacao&) { SuporteRemoto(p, FrmPrincipal->Instalacao()); }};
}

// The database tool, with the installation folder standing for Program Files.
Item IBExpertItem() {
    return {kPastaIBExpert, QStringLiteral("ibexpert.exe"),
            [](const Instalacao& i) { return i.Caminho(QStringLiteral("IBExpert/ibexpert.exe")); },
            [](QDialog* p, const Instalacao& i) {
                IBExpertEm(p, QDir::toNativeSeparators(i.Pasta()) + Plataforma::Delimitador());
            }};
}

// The database tool under a Program Files folder whose parent is missing: its folder
// cannot be made (one level only), nor the file stored.
Item IBExpertSemPastaItem() {
    return {kPastaIBExpert, QStringLiteral("ibexpert.exe"),
            [](const Instalacao& i) {
                return i.Caminho(QStringLiteral("falta/Programas/IBExpert/ibexpert.exe"));
            },
            [](QDialog* p, const Instalacao& i) {
                IBExpertEm(p,
                           QDir::toNativeSeparators(i.Caminho(QStringLiteral("falta/Programas"))));
            }};
}

// The program's stand-in writes <name>.marca beside itself when it starts.
QString Marca(const QString& programa) {
    return programa.left(programa.lastIndexOf(u'.')) + QStringLiteral(".marca");
}

// Files in a folder other than the ones named.
QStringList Sobras(const QString& pasta, const QStringList& esperados) {
    QStringList r;
    for (const QString& n : QDir(pasta).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (!esperados.contains(n))
            r.append(n);
    return r;
}

// The database tool under a Program Files folder on a disk of 64 KB.
Item IBExpertDiscoCheioItem() {
    return {kPastaIBExpert, QStringLiteral("ibexpert.exe"),
            [](const Instalacao& i) {
                return i.Caminho(QStringLiteral("cheio/IBExpert/ibexpert.exe"));
            },
            [](QDialog* p, const Instalacao& i) {
                IBExpertEm(p, QDir::toNativeSeparators(i.Caminho(QStringLiteral("cheio"))));
            },
            QStringLiteral("cheio")};
}

} // namespace

Q_DECLARE_METATYPE(Item)
Q_DECLARE_METATYPE(ServidorFtp::Opcoes)

class TstFerramentasSuporte : public QObject {
    Q_OBJECT

    std::unique_ptr<Instalacao> inst;
    std::unique_ptr<TFrmPrincipal> principal;
    std::unique_ptr<QDialog> painel;

    void Prepara(const QString& pasta = QStringLiteral("EMPRESA")) {
        inst = std::make_unique<Instalacao>(pasta);
        principal = std::make_unique<TFrmPrincipal>(inst->Caminho(QStringLiteral("Gerenciador")));
        painel = std::make_unique<QDialog>(principal.get());
        painel->show();
        QVERIFY(QTest::qWaitForWindowExposed(painel.get()));
    }

    void Conta(const ServidorFtp& s) {
        DefineConta({QStringLiteral("127.0.0.1"), s.Porta(), QStringLiteral("supvestra"),
                     QStringLiteral("K7wR4#")});
    }

private Q_SLOTS:
    void cleanup() {
        painel.reset();
        principal.reset();
        inst.reset();
        DefineConta({});
        QVERIFY(!DownloadEmAndamento());
    }

    void atualizar_data() {
        QTest::addColumn<QString>("pasta");
        QTest::addColumn<bool>("confirma");
        QTest::newRow("EMPRESA, OK") << "EMPRESA" << true;
        QTest::newRow("CARTORIO, OK") << "CARTORIO" << true;
        QTest::newRow("EMPRESA, Cancelar") << "EMPRESA" << false;
        QTest::newRow("minúsculas") << "velto/Suite" << false;
    }
    void atualizar() {
        QFETCH(QString, pasta);
        QFETCH(bool, confirma);
#ifdef Q_OS_WIN
        if (confirma)
            QSKIP("the shell would hand the address to the machine's own browser");
#endif
        Prepara(pasta);
        Navegador navegador;
        GravadorMensagens gravador;
        gravador.Responde(confirma ? RespostaMensagem::Ok : RespostaMensagem::Cancelar);
        // Run inside the program's message loop, which the update ends when confirmed.
        QTimer::singleShot(0, this, [this] {
            Atualizar(painel.get(), principal->Instalacao());
            QTimer::singleShot(0, [] { QCoreApplication::exit(7); });
        });
        const int fim = QCoreApplication::exec();

        QCOMPARE(gravador.Pedidos().size(), 1);
        const PedidoMensagem& p = gravador.Pedidos().first();
        const QString nome = pasta.section(u'/', -1).toUpper();
        QCOMPARE(p.texto,
                 "Atualização do Gerenciador.\rVocê deve estar conectado na internet.\rQuando "
                 "aparecer uma tela de download, clique no botão Salvar.\r\rO local para salvar "
                 "o arquivo será em:\r\r   Meu Computador\r     Disco Local\r       VELTO\r    "
                 "       " +
                     nome + "\r\rVocê deverá substituir o arquivo existente.");
        QCOMPARE(p.titulo, QStringLiteral("VELTO"));
        QCOMPARE(p.icone, IconeMensagem::Informacao);
        QCOMPARE(p.botoes, BotoesMensagem::OkCancelar);
        QCOMPARE(fim, confirma ? 0 : 7); // the message loop ended, or went on
        QCOMPARE(navegador.abertos,
                 confirma ? QStringList{Configuracao::UrlAtualizacao()} : QStringList{});
        QCOMPARE(painel->isVisible(), !confirma);
    }

    void siteSuporte() {
#ifdef Q_OS_WIN
        QSKIP("the shell would hand the address to the machine's own browser");
#endif
        Prepara();
        Navegador navegador;
        GravadorMensagens gravador;
        AbrirSiteSuporte(painel.get());
        QCOMPARE(navegador.abertos, QStringList{Configuracao::UrlSuporte()});
        QVERIFY(!painel->isVisible());
        QVERIFY(gravador.Pedidos().isEmpty());
    }

    void backup_data() {
        QTest::addColumn<bool>("presente");
        QTest::newRow("presente") << true;
        QTest::newRow("ausente") << false;
    }
    void backup() {
        QFETCH(bool, presente);
        Prepara();
        const QString programa = inst->Caminho(QStringLiteral("VELTOBackUp.exe"));
        if (presente)
            QVERIFY(QFile::copy(CaminhoModuloFalso(), programa));
        GravadorMensagens gravador;
        CarregarBackup(painel.get(), principal->Instalacao());
        QVERIFY(!painel->isVisible());
        QVERIFY(gravador.Pedidos().isEmpty());
        if (presente)
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(Marca(programa)), 30000);
        else
            QVERIFY(!QFile::exists(programa));
    }

    void presenteSemRede_data() {
        QTest::addColumn<Item>("item");
        QTest::newRow("Suporte Remoto") << SuporteRemotoItem();
        QTest::newRow("IBexpert") << IBExpertItem();
    }
    // A program already there is started as it is, whatever its content, and the server
    // hears nothing.
    void presenteSemRede() {
        QFETCH(Item, item);
        SERVIDOR_E_PAINEL(servidor, ServidorFtp::Opcoes{});
        servidor.Grava(item.pastaRemota + u'/' + item.arquivo, "outro");
        const QString local = item.local(*inst);
        QDir().mkpath(QFileInfo(local).absolutePath());
        QVERIFY(QFile::copy(CaminhoModuloFalso(), local));
        GravadorMensagens gravador;
        item.clique(painel.get(), *inst);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(Marca(local)), 30000);
        QVERIFY(!painel->isVisible());
        QVERIFY(gravador.Pedidos().isEmpty());
        QTest::qWait(200);
        QCOMPARE(servidor.Log(), QStringList{});
        QCOMPARE(Sobras(QFileInfo(local).absolutePath(),
                        {item.arquivo, QFileInfo(Marca(local)).fileName()}),
                 QStringList{});
    }

    void baixaEInicia_data() {
        QTest::addColumn<Item>("item");
        QTest::addColumn<bool>("seguraQuit"); // the server never answers the goodbye
        QTest::newRow("Suporte Remoto") << SuporteRemotoItem() << false;
        QTest::newRow("IBexpert") << IBExpertItem() << false;
        QTest::newRow("QUIT sem resposta") << SuporteRemotoItem() << true;
    }
    // Fetched with the exchange the support server expects, kept under the program's name,
    // and the program started is the one fetched; the connection then closes, whether or not
    // the server answers the goodbye.
    void baixaEInicia() {
        QFETCH(Item, item);
        QFETCH(bool, seguraQuit);
        ServidorFtp::Opcoes opcoes;
        opcoes.seguraQuit = seguraQuit;
        SERVIDOR_E_PAINEL(servidor, opcoes);
        const QByteArray programa = ModuloFalso();
        QVERIFY(!programa.isEmpty());
        servidor.Grava(item.pastaRemota + u'/' + item.arquivo, programa);
        GravadorMensagens gravador;
        item.clique(painel.get(), *inst);
        QCOMPARE(gravador.Textos(), QStringList{});
        QVERIFY(!painel->isVisible());
        const QString local = item.local(*inst);
        QFile baixado(local);
        QVERIFY(baixado.open(QIODevice::ReadOnly));
        QVERIFY(baixado.readAll() == programa);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(Marca(local)), 30000);
        QFile marca(Marca(local));
        QVERIFY(marca.open(QIODevice::ReadOnly));
        // The stand-in writes the current folder, then the program it was started as.
        const QStringList linhas = QString::fromUtf8(marca.readAll()).split(u'\n');
        QVERIFY(linhas.size() >= 2);
        // (On Windows the program's folder is upper-cased, which names the same folder.)
        QVERIFY2(QFileInfo(linhas[1]).canonicalFilePath().compare(
                     QFileInfo(local).canonicalFilePath(),
                     kWindows ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0,
                 qPrintable(linhas[1]));

        QTRY_VERIFY_WITH_TIMEOUT(servidor.Comandos().contains(QStringLiteral("QUIT")), 30000);
        const QStringList log = servidor.Log();
        QCOMPARE(log.count(QStringLiteral("CONEXAO")), 1);
        QVERIFY(log.contains(QStringLiteral("USER supvestra")));
        QVERIFY(log.contains(QStringLiteral("PASS K7wR4#")));
        QVERIFY(log.contains(QStringLiteral("TYPE I")));
        QCOMPARE(servidor.Comandos().count(QStringLiteral("CWD")), 1);
        QVERIFY(log.contains("CWD " + item.pastaRemota));
        QCOMPARE(servidor.Comandos().count(QStringLiteral("PORT")), 1);
        QVERIFY(!servidor.Comandos().contains(QStringLiteral("PASV")));
        QVERIFY(!servidor.Comandos().contains(QStringLiteral("EPSV")));
        QVERIFY(log.contains("RETR " + item.arquivo));
        // In this order.
        const QStringList ordem{QStringLiteral("USER"), QStringLiteral("PASS"),
                                QStringLiteral("CWD"), QStringLiteral("PORT"),
                                QStringLiteral("RETR")};
        qsizetype de = -1;
        for (const QString& c : ordem) {
            const qsizetype i = servidor.Comandos().indexOf(c);
            QVERIFY2(i > de, qPrintable(servidor.Log().join(u'|')));
            de = i;
        }
        QVERIFY(servidor.Comandos().indexOf(QStringLiteral("TYPE")) <
                servidor.Comandos().indexOf(QStringLiteral("RETR")));
        QCOMPARE(Sobras(QFileInfo(local).absolutePath(),
                        {item.arquivo, QFileInfo(Marca(local)).fileName()}),
                 QStringList{});
        // A silent server does not keep the thread, nor the program's end, waiting 120 s.
        QTRY_VERIFY_WITH_TIMEOUT(qApp->findChildren<Th_Download*>().isEmpty(), 20000);
    }

    void falha_data() {
        QTest::addColumn<Item>("item");
        QTest::addColumn<ServidorFtp::Opcoes>("opcoes"); // the server's
        QTest::addColumn<QString>("remoto");             // what the server holds
        QTest::addColumn<bool>("ouvindo");
        QTest::addColumn<QStringList>("causa"); // each in the text after the prefix

        using O = ServidorFtp::Opcoes;
        const O normal;
        const QString arquivo = kPastaRemoto + QStringLiteral("/Suporte_vestranox.exe");
        QTest::newRow("login recusado")
            << SuporteRemotoItem() << O{.senha = "outra"} << arquivo << true << QStringList{"530"};
        QTest::newRow("pasta inexistente")
            << SuporteRemotoItem() << normal << "/httpdocs/Programas/Outra/Suporte_vestranox.exe"
            << true << QStringList{"550"};
        QTest::newRow("arquivo inexistente")
            << SuporteRemotoItem() << normal << kPastaRemoto + "/outro.exe" << true
            << QStringList{"550"};
        QTest::newRow("IBexpert: arquivo inexistente")
            << IBExpertItem() << normal << kPastaIBExpert + "/outro.exe" << true
            << QStringList{"550"};
        QTest::newRow("IBexpert: pasta local impossível")
            << IBExpertSemPastaItem() << normal << kPastaIBExpert + "/ibexpert.exe" << true
            << QStringList{"Não foi possível criar"};
        QTest::newRow("ninguém ouvindo")
            << SuporteRemotoItem() << normal << arquivo << false << QStringList{"onnect"};
        QTest::newRow("transferência cortada") << SuporteRemotoItem() << O{.corta = 300000}
                                               << arquivo << true << QStringList{"300000 de"};
        QTest::newRow("cortada com 226")
            << SuporteRemotoItem() << O{.corta = 300000, .corteCompleta = true} << arquivo << true
            << QStringList{"incompleto: 300000 de"};
        QTest::newRow("mais bytes que o anunciado")
            << SuporteRemotoItem() << O{.sobra = 50000} << arquivo << true
            << QStringList{"mais bytes do que os"};
        // Sending without end (as far as the client can tell): the transfer stops at once.
        QTest::newRow("mais bytes, sem fim")
            << SuporteRemotoItem() << O{.sobra = kSobraSemFim} << arquivo << true
            << QStringList{"mais bytes do que os"};
        QTest::newRow("resposta de 60.000 caracteres")
            << SuporteRemotoItem() << O{.respostaLonga = 60000} << arquivo << true
            << QStringList{"550 Arquivo recusado: xxx", "(resposta do servidor cortada)"};
        QTest::newRow("IBexpert: disco cheio")
            << IBExpertDiscoCheioItem() << normal << kPastaIBExpert + "/ibexpert.exe" << true
            << QStringList{"No space left on device"};
    }
    // The warning names the cause in a few readable lines; the panel stays open, nothing is
    // left under the program's name or beside it, nothing starts, and the next click downloads
    // again.
    void falha() {
        QFETCH(Item, item);
        QFETCH(ServidorFtp::Opcoes, opcoes);
        QFETCH(QString, remoto);
        QFETCH(bool, ouvindo);
        QFETCH(QStringList, causa);

        ServidorFtp servidor(opcoes);
        if (!servidor.Ouvindo())
            QSKIP(qPrintable(servidor.Motivo()));
        Prepara();
        // One page of the small disk taken, so that the write that fills it falls short.
        const QString disco =
            item.discoPequeno.isEmpty() ? QString() : inst->Caminho(item.discoPequeno);
        auto desmonta = qScopeGuard([&] { QProcess::execute("umount", {disco}); });
        if (disco.isEmpty())
            desmonta.dismiss();
        else if (!QDir().mkpath(disco) ||
                 QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", disco}) != 0)
            QSKIP("a tmpfs cannot be mounted here (Linux, as root)");
        else
            inst->Grava(item.discoPequeno + "/ocupado", "x");
        const QByteArray programa = ModuloGrande();
        servidor.Grava(remoto, programa);
        if (ouvindo)
            Conta(servidor);
        else
            DefineConta({QStringLiteral("127.0.0.1"), PortaFechada(), "supvestra", "K7wR4#"});
        GravadorMensagens gravador;
        item.clique(painel.get(), *inst);

        QCOMPARE(gravador.Pedidos().size(), 1);
        const PedidoMensagem& p = gravador.Pedidos().first();
        QVERIFY2(p.texto.startsWith(kAviso), qPrintable(p.texto));
        const QString motivo = p.texto.mid(kAviso.size());
        QVERIFY2(!motivo.trimmed().isEmpty(), qPrintable(p.texto));
        QVERIFY2(!motivo.contains(QLatin1String("inet_ntop")), qPrintable(motivo));
        for (const QString& c : causa)
            QVERIFY2(motivo.contains(c), qPrintable(motivo));
        QVERIFY2(motivo.size() < 600, qPrintable(motivo.left(1000)));
        if (opcoes.sobra == kSobraSemFim) {
            // What the server managed to hand over beyond the size it announced before the
            // client dropped the transfer: the sockets' buffers, not the surplus.
            QTRY_VERIFY(!servidor.Log().filter(QRegularExpression(u"^SOBRA "_qs)).isEmpty());
            const QString sobra =
                servidor.Log().filter(QRegularExpression(u"^SOBRA "_qs)).constFirst();
            QVERIFY2(sobra.mid(6).toLongLong() < kSobraSemFim / 8, qPrintable(sobra));
        }
        QCOMPARE(p.titulo, QStringLiteral("VELTO"));
        QCOMPARE(p.icone, IconeMensagem::Aviso);
        QCOMPARE(p.botoes, BotoesMensagem::Ok);
        QVERIFY(painel->isVisible());
        const QString local = item.local(*inst);
        QVERIFY(!QFile::exists(local));
        QVERIFY(!QFile::exists(Marca(local)));
        if (QFileInfo::exists(QFileInfo(local).absolutePath()))
            QCOMPARE(Sobras(QFileInfo(local).absolutePath(), {}), QStringList{});

        // Once the server has the file whole, the next click fetches it.
        if (!ouvindo || opcoes.corta >= 0 || opcoes.sobra > 0) {
            ServidorFtp bom;
            QVERIFY(bom.Ouvindo());
            bom.Grava(item.pastaRemota + u'/' + item.arquivo, programa);
            Conta(bom);
            gravador.Limpa();
            item.clique(painel.get(), *inst);
            QCOMPARE(gravador.Textos(), QStringList{});
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(Marca(local)), 30000);
            QVERIFY(!painel->isVisible());
        }
    }

    void cancela_data() {
        QTest::addColumn<QString>("quando"); // the click: once data came, every byte, the file
        QTest::addColumn<ServidorFtp::Opcoes>("opcoes");
        QTest::addColumn<QByteArray>("conteudo"); // empty: the program's stand-in
        using O = ServidorFtp::Opcoes;
        QTest::newRow("durante a transferência")
            << "dados" << O{.limite = 64 * 1024} << Aleatorios(4 << 20);
        QTest::newRow("226 retido pelo servidor")
            << "tudo" << O{.segura226 = true} << Aleatorios(500);
        QTest::newRow("depois do fim, antes do resultado")
            << "fim" << O{.limite = 512 * 1024} << QByteArray();
    }
    // Cancelar in the progress window stops the download at once, whatever the server does,
    // and is honoured even when the file arrived meanwhile: no warning, nothing started, the
    // panel open, and no file unless it was complete.
    void cancela() {
        QFETCH(QString, quando);
        QFETCH(ServidorFtp::Opcoes, opcoes);
        QFETCH(QByteArray, conteudo);
        SERVIDOR_E_PAINEL(servidor, opcoes);
        servidor.Grava(kPastaRemoto + QStringLiteral("/Suporte_vestranox.exe"),
                       conteudo.isEmpty() ? ModuloGrande() : conteudo);
        const QString local = inst->Caminho(QStringLiteral("Suporte_vestranox.exe"));
        bool clicou = false;
        QElapsedTimer desdeOClique;
        QTimer relogio;
        connect(&relogio, &QTimer::timeout, this, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* progresso = qobject_cast<TFrmProgresso*>(w);
                if (!progresso || !progresso->isVisible() || clicou)
                    continue;
                const QStringList p = progresso->findChild<QLabel*>(QStringLiteral("LblRecebidos"))
                                          ->text()
                                          .split(" de ");
                if ((quando == "dados" && p.size() != 2) ||
                    (quando == "tudo" && (p.size() != 2 || p[0] != p[1])))
                    continue;
                // The interface held until the file has its name: the result is on its way.
                for (int i = 0; quando == "fim" && i < 6000 && !QFile::exists(local); ++i)
                    QThread::msleep(5);
                clicou = true;
                desdeOClique.start();
                progresso->findChild<QPushButton*>(QStringLiteral("BtnCancelar"))->click();
            }
        });
        relogio.start(50);
        GravadorMensagens gravador;
        SuporteRemoto(painel.get(), principal->Instalacao());
        QVERIFY(clicou);
        // Not the 120 s the server's silence would last.
        QVERIFY2(desdeOClique.elapsed() < 10000,
                 qPrintable(QString::number(desdeOClique.elapsed())));
        QCOMPARE(gravador.Textos(), QStringList{});
        QVERIFY(painel->isVisible());
        QVERIFY(!QFile::exists(Marca(local)));
        QCOMPARE(Sobras(inst->Pasta(), {}),
                 quando == "fim" ? QStringList{"Suporte_vestranox.exe"} : QStringList{});
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<TFrmProgresso*>(w));
    }

    // During a slow download the panel paints, and a second click does nothing.
    void painelPintaDuranteDownload() {
        ServidorFtp::Opcoes opcoes;
        opcoes.limite = 256 * 1024;
        SERVIDOR_E_PAINEL(servidor, opcoes);
        const QByteArray programa = ModuloFalso() + Aleatorios(512 * 1024);
        servidor.Grava(kPastaRemoto + QStringLiteral("/Suporte_vestranox.exe"), programa);

        struct ContaPinturas : QObject {
            int n = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint)
                    ++n;
                return false;
            }
        } pinturas;
        painel->installEventFilter(&pinturas);
        QTimer repinta;
        connect(&repinta, &QTimer::timeout, painel.get(), qOverload<>(&QWidget::update));
        repinta.start(50);
        int segundos = 0;
        bool emAndamento = false;
        QTimer::singleShot(300, this, [&] {
            emAndamento = DownloadEmAndamento();
            SuporteRemoto(painel.get(), principal->Instalacao()); // returns at once
            IBExpertEm(painel.get(), inst->Pasta());
            ++segundos;
        });
        GravadorMensagens gravador;
        SuporteRemoto(painel.get(), principal->Instalacao());
        repinta.stop();
        QCOMPARE(gravador.Textos(), QStringList{});
        QCOMPARE(segundos, 1);
        QVERIFY(emAndamento);
        QVERIFY2(pinturas.n >= 10, qPrintable(QString::number(pinturas.n)));
        QCOMPARE(servidor.Log().count(QStringLiteral("CONEXAO")), 1);
        QVERIFY(!QFile::exists(inst->Caminho(QStringLiteral("IBExpert"))));
        const QString local = inst->Caminho(QStringLiteral("Suporte_vestranox.exe"));
        QFile baixado(local);
        QVERIFY(baixado.open(QIODevice::ReadOnly));
        QVERIFY(baixado.readAll() == programa);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(Marca(local)), 30000);
    }

    void caminhoIBExpert_data() {
        QTest::addColumn<QString>("pasta");
        QTest::addColumn<QString>("caminho");
#ifdef Q_OS_WIN
        QTest::newRow("com delimitador") << "C:\\Program Files\\"
                                         << "C:\\Program Files\\IBExpert\\ibexpert.exe";
        QTest::newRow("sem delimitador") << "C:\\Arquivos de Programas"
                                         << "C:\\Arquivos de Programas\\IBExpert\\ibexpert.exe";
        QTest::newRow("vazia: raiz da unidade") << ""
                                                << "\\IBExpert\\ibexpert.exe";
#else
        QTest::newRow("/opt/") << "/opt/"
                               << "/opt/IBExpert/ibexpert.exe";
        QTest::newRow("sem delimitador") << "/usr/local"
                                         << "/usr/local/IBExpert/ibexpert.exe";
#endif
    }
    void caminhoIBExpert() {
        QFETCH(QString, pasta);
        QFETCH(QString, caminho);
        QCOMPARE(CaminhoIBExpert(pasta), caminho);
    }

    void textoTamanho_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("texto");
        QTest::newRow("0") << qint64(0) << "0 bytes";
        QTest::newRow("1023") << qint64(1023) << "1023 bytes";
        QTest::newRow("1 kB") << qint64(1024) << "1 kB";
        QTest::newRow("1,5 MB") << qint64(3 << 19) << "1,5 MB";
        QTest::newRow("5 GB") << qint64(5) * 1024 * 1024 * 1024 << "5,0 GB";
    }
    void textoTamanho() {
        QFETCH(qint64, bytes);
        QFETCH(QString, texto);
        QCOMPARE(TFrmProgresso::TextoTamanho(bytes), texto);
    }
};

QTEST_MAIN(TstFerramentasSuporte)
#include "tst_ferramentassuporte.moc"
