// The platform layer against the real system: the version block of the built program, module
// starts from folders whose names hold blanks and accents, opening programs and addresses the
// way the desktop does, the single-instance lock across processes, and the atomic replace
// while another process holds the file open. Built for both platforms; the Windows leg runs it
// under Wine against the Win32 side.
#include "common/Plataforma.h"
#include "support/Instalacao.h"
#include "versao_gerada.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <algorithm>

namespace {

#ifdef Q_OS_WIN
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// How long a started program may take to show up; a poll, not a measurement.
constexpr int kEspera = 60000;

bool CopiaModulo(const QString& destino) {
    QDir().mkpath(QFileInfo(destino).absolutePath());
    QFile::remove(destino);
    return QFile::copy(CaminhoModuloFalso(), destino);
}

// The marker that a copy of the stand-in writes beside itself when it runs.
QString Marca(const QString& programa) {
    const QFileInfo fi(programa);
    return fi.absolutePath() + u'/' + fi.completeBaseName() + QLatin1String(".marca");
}

// The marker's lines: the current folder, then the arguments (argv[0] first).
QStringList LeMarca(const QString& programa) {
    QFile f(Marca(programa));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList linhas = QString::fromUtf8(f.readAll()).split(u'\n');
    if (!linhas.isEmpty() && linhas.last().isEmpty())
        linhas.removeLast();
    return linhas;
}

// Where a start that split the path at a blank would land instead: the path up to each blank
// (plus ".exe" on Windows, which tries that name first).
QStringList Chamarizes(const QString& programa) {
    QStringList r;
    for (qsizetype i = programa.indexOf(u' '); i > 0; i = programa.indexOf(u' ', i + 1)) {
        const QString prefixo = programa.left(i);
        if (!prefixo.endsWith(u' ') && !prefixo.endsWith(u'/'))
            r << prefixo + (kWindows ? QStringLiteral(".exe") : QString());
    }
    return r;
}

bool AlgumIniciado(const QStringList& programas) {
    return std::any_of(programas.begin(), programas.end(),
                       [](const QString& p) { return QFile::exists(Marca(p)); });
}

// The program path as the program builds it: its folder (upper-cased on Windows) and the
// plain file name, in the platform's spelling.
QString ComoOProgramaVe(const QString& caminho) {
    const QString nativo = QDir::toNativeSeparators(caminho);
    return Plataforma::PastaPrograma(nativo) + Plataforma::UltimoComponente(nativo);
}

// Removes a started copy of the stand-in once it has ended (Windows refuses to delete a
// running program), so that its temporary folder goes away whole.
bool RemoveQuandoTerminar(const QString& programa) {
    QDeadlineTimer prazo(kEspera);
    while (!QFile::remove(programa) && QFile::exists(programa)) {
        if (prazo.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

// Wine's process creation has been seen to fail once in a while on a loaded machine (CI, a
// full parallel run): the stand-in is the tests' tool, not what they test, so a start that
// fails is said and tried once more.
bool Inicia(QProcess& p, const QStringList& argumentos) {
    for (int tentativa = 1; tentativa <= 2; ++tentativa) {
        p.start(CaminhoModuloFalso(), argumentos);
        if (p.waitForStarted(kEspera))
            return true;
        qWarning("o módulo falso não partiu (tentativa %d): %s", tentativa,
                 qPrintable(p.errorString()));
    }
    return false;
}

// The stand-in's one-line answer ("1" or "0").
QByteArray Resposta(QProcess& p) {
    while (!p.canReadLine())
        if (!p.waitForReadyRead(kEspera))
            return "sem resposta: " + p.readAllStandardError();
    return p.readLine().trimmed();
}

bool Termina(QProcess& p) {
    p.closeWriteChannel();
    return p.waitForFinished(kEspera) && p.exitStatus() == QProcess::NormalExit;
}

// What the folder holds, names joined by blanks.
QString Conteudo(const QString& pasta) {
    return QDir(pasta)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                   QDir::Name)
        .join(u' ');
}

QByteArray Le(const QString& caminho) {
    QFile f(caminho);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<ilegível>");
}

// An INI-like text of about `linhas` lines, each line naming its number and the marca.
QByteArray Texto(char marca, int linhas) {
    QByteArray r = "[BOT\xD5"
                   "ES]\r\n";
    for (int i = 0; i < linhas; ++i)
        r += "VELTOM" + QByteArray::number(i) + ".EXE=" + QByteArray(40, marca) + "\r\n";
    return r;
}

enum class Arquivo {
    CopiaPrograma,
    EsteTeste,
    Texto,
    Vazio,
    Metade,
    CortadoNoBloco,
    SoCabecalho,
    Pasta,
    Ausente
};

// Whether a file must carry our version, must not, or may (the whole block still inside a
// cut file is readable, and a cut file may be refused as a whole).
enum class Esperado { Versao, Nenhuma, QualquerUma };

} // namespace

class TstWinPlataforma : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The paths CTest hands over reach the test in the platform's spelling.
    void initTestCase() {
        for (const QString& caminho : {CaminhoPrograma(), CaminhoModuloFalso()}) {
            QVERIFY2(QFileInfo(caminho).isFile(), qPrintable(caminho));
            QCOMPARE(Plataforma::PastaDoCaminho(caminho),
                     QDir::toNativeSeparators(QFileInfo(caminho).absolutePath()));
        }
    }

    // Windows spellings: backslashes, the folder upper-cased in ASCII only, a root folder with
    // its delimiter doubled.
    void caminhosWindows_data() {
        QTest::addColumn<QString>("executavel");
        QTest::addColumn<QString>("pasta");
        QTest::addColumn<QString>("ultimo");
        QTest::newRow("pasta comum") << u"C:\\Velto\\Empresa\\Gerenciador.exe"_qs
                                     << u"C:\\VELTO\\EMPRESA\\"_qs << u"Gerenciador.exe"_qs;
        QTest::newRow("espaço e acento") << u"D:\\Pasta Suíte\\cartório\\g.exe"_qs
                                         << u"D:\\PASTA SUíTE\\CARTóRIO\\"_qs << u"g.exe"_qs;
        QTest::newRow("raiz do disco")
            << u"C:\\GERENCIADOR.EXE"_qs << u"C:\\\\"_qs << u"GERENCIADOR.EXE"_qs;
        QTest::newRow("pasta de rede") << u"\\\\servidor\\velto\\empresa\\g.exe"_qs
                                       << u"\\\\SERVIDOR\\VELTO\\EMPRESA\\"_qs << u"g.exe"_qs;
    }
    void caminhosWindows() {
        if (!kWindows)
            QSKIP("Windows spellings");
        QFETCH(QString, executavel);
        QFETCH(QString, pasta);
        QFETCH(QString, ultimo);
        QCOMPARE(Plataforma::PastaPrograma(executavel), pasta);
        QCOMPARE(Plataforma::UltimoComponente(executavel), ultimo);
    }

    // The running program's own path, as the system spells it.
    void caminhoExecutavel() {
        const QString caminho = Plataforma::CaminhoExecutavel();
        QVERIFY(QFileInfo(caminho) == QFileInfo(QCoreApplication::applicationFilePath()));
        QCOMPARE(caminho, QDir::toNativeSeparators(caminho));
        QVERIFY(Plataforma::PastaPrograma(caminho).endsWith(Plataforma::Delimitador()));
    }

    // The fixed version block, read back from files on disk.
    void versao_data() {
        QTest::addColumn<Arquivo>("arquivo");
        QTest::addColumn<Esperado>("esperado");
        QTest::newRow("cópia do programa") << Arquivo::CopiaPrograma << Esperado::Versao;
        QTest::newRow("este teste") << Arquivo::EsteTeste << Esperado::Versao;
        QTest::newRow("texto") << Arquivo::Texto << Esperado::Nenhuma;
        QTest::newRow("vazio") << Arquivo::Vazio << Esperado::Nenhuma;
        QTest::newRow("programa cortado ao meio") << Arquivo::Metade << Esperado::QualquerUma;
        QTest::newRow("programa cortado no bloco de versão")
            << Arquivo::CortadoNoBloco << Esperado::Nenhuma;
        QTest::newRow("só o cabeçalho do programa") << Arquivo::SoCabecalho << Esperado::Nenhuma;
        QTest::newRow("pasta") << Arquivo::Pasta << Esperado::Nenhuma;
        QTest::newRow("ausente") << Arquivo::Ausente << Esperado::Nenhuma;
    }
    void versao() {
        QFETCH(Arquivo, arquivo);
        QFETCH(Esperado, esperado);
        const Instalacao inst(QStringLiteral("Pasta Suíte/EMPRESA"));
        const QString nome = QStringLiteral("Gerenciador VELTO.exe");
        QString caminho = inst.Caminho(nome);
        const QByteArray programa = Le(CaminhoPrograma());
        switch (arquivo) {
        case Arquivo::CopiaPrograma:
            caminho = inst.CopiaPrograma(nome);
            break;
        case Arquivo::EsteTeste:
            caminho = Plataforma::CaminhoExecutavel();
            break;
        case Arquivo::Texto:
            inst.Grava(nome, "MZ n\xE3o \xE9 um programa\r\n");
            break;
        case Arquivo::Vazio:
            inst.Grava(nome, {});
            break;
        case Arquivo::Metade:
            inst.Grava(nome, programa.left(programa.size() / 2));
            break;
        case Arquivo::CortadoNoBloco: {
            // The fixed block starts with its signature, BD 04 EF FE.
            const qsizetype i = programa.indexOf(QByteArray("\xBD\x04\xEF\xFE", 4));
            QVERIFY(i > 0);
            inst.Grava(nome, programa.left(i + 8));
            break;
        }
        case Arquivo::SoCabecalho:
            inst.Grava(nome, programa.left(1024));
            break;
        case Arquivo::Pasta:
            QVERIFY(QDir().mkpath(caminho));
            break;
        case Arquivo::Ausente:
            break;
        }
        const auto versao = Plataforma::LeVersaoArquivo(QDir::toNativeSeparators(caminho));
        if (esperado != Esperado::QualquerUma)
            QCOMPARE(versao.has_value(), esperado == Esperado::Versao);
        if (versao) {
            const Plataforma::Versao esperada{GERENCIADOR_VERSAO_MAIOR, GERENCIADOR_VERSAO_MENOR,
                                              GERENCIADOR_VERSAO_REVISAO, GERENCIADOR_VERSAO_BUILD};
            QCOMPARE(*versao, esperada);
            QCOMPARE(QStringLiteral("%1.%2.%3.%4")
                         .arg((*versao)[0])
                         .arg((*versao)[1])
                         .arg((*versao)[2])
                         .arg((*versao)[3]),
                     QStringLiteral(GERENCIADOR_VERSAO_TEXTO));
        }
    }

    // A module starts from its full path even when the folders or its name hold blanks and
    // accents, with no arguments and in our current folder; a program at the path's prefix
    // before a blank never starts in its place.
    void iniciaPrograma_data() {
        QTest::addColumn<QString>("subpasta");
        QTest::addColumn<QString>("modulo");
        QTest::newRow("espaço e acento na pasta")
            << QStringLiteral("Pasta Suíte/EMPRESA") << QStringLiteral("VELTOM01.EXE");
        QTest::newRow("espaço no nome do módulo")
            << QStringLiteral("CARTORIO") << QStringLiteral("VELTO M05.EXE");
        QTest::newRow("acento sem espaço")
            << QStringLiteral("Cartório/CARTORIO") << QStringLiteral("VELTOM02.EXE");
        QTest::newRow("espaços seguidos")
            << QStringLiteral("Meus  Programas de Teste/SUITE") << QStringLiteral("VELTOM22.EXE");
    }
    void iniciaPrograma() {
        QFETCH(QString, subpasta);
        QFETCH(QString, modulo);
        const Instalacao inst(subpasta);
        const QString programa = inst.Caminho(modulo);
        QVERIFY(CopiaModulo(programa));
        const QStringList chamarizes = Chamarizes(programa);
        for (const QString& c : chamarizes)
            QVERIFY(CopiaModulo(c));

        QVERIFY(Plataforma::IniciaPrograma(ComoOProgramaVe(programa)));
        QTRY_VERIFY_WITH_TIMEOUT(AlgumIniciado(QStringList{programa} + chamarizes), kEspera);
        for (const QString& c : chamarizes)
            QVERIFY2(!QFile::exists(Marca(c)), qPrintable(c + QStringLiteral(" foi iniciado")));
        // The folder and argv[0], no stray arguments (the marker may still be being written).
        QTRY_COMPARE_WITH_TIMEOUT(LeMarca(programa).size(), 2, kEspera);
        const QStringList marca = LeMarca(programa);
        QCOMPARE(marca[0], QDir::currentPath());
        QVERIFY2(QFileInfo(marca[1]) == QFileInfo(programa), qPrintable(marca[1]));
        QVERIFY(RemoveQuandoTerminar(programa));
    }

    // The start does not wait for the module: it returns while the module still runs.
    void iniciaProgramaNaoEspera() {
        const Instalacao inst(QStringLiteral("Pasta Suíte/EMPRESA"));
        const QString programa = inst.Caminho(QStringLiteral("VELTOM04.EXE"));
        QVERIFY(CopiaModulo(programa));
        inst.Grava(QStringLiteral("VELTOM04.espera"), {});
        QVERIFY(Plataforma::IniciaPrograma(ComoOProgramaVe(programa)));
        // Still waiting for its file to go, the module cannot be removed on Windows.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(Marca(programa)), kEspera);
        if (kWindows)
            QVERIFY(!QFile::remove(programa));
        QVERIFY(QFile::remove(inst.Caminho(QStringLiteral("VELTOM04.espera"))));
        QVERIFY(RemoveQuandoTerminar(programa));
    }

    void iniciaProgramaFalha_data() {
        QTest::addColumn<QByteArray>("conteudo");
        QTest::addColumn<bool>("pasta");
        QTest::newRow("ausente") << QByteArray() << false;
        QTest::newRow("pasta com o nome do módulo") << QByteArray() << true;
        QTest::newRow("arquivo de texto")
            << QByteArray("isto n\xE3o \xE9 um programa\r\n") << false;
    }
    void iniciaProgramaFalha() {
        QFETCH(QByteArray, conteudo);
        QFETCH(bool, pasta);
        const Instalacao inst(QStringLiteral("Pasta Suíte/EMPRESA"));
        const QString programa = inst.Caminho(QStringLiteral("VELTOM03.EXE"));
        if (pasta)
            QVERIFY(QDir().mkpath(programa));
        else if (!conteudo.isEmpty())
            inst.Grava(QStringLiteral("VELTOM03.EXE"), conteudo);
        QVERIFY(!Plataforma::IniciaPrograma(ComoOProgramaVe(programa)));
    }

    // The desktop's "open": a program in a folder with blanks and accents starts (and nothing
    // at a prefix of its path); an address goes whole to the handler of its scheme.
    void abrePrograma() {
        if (!kWindows)
            QSKIP("here the desktop's own opener (xdg-open) would take it");
        const Instalacao inst(QStringLiteral("Pasta Suíte/EMPRESA"));
        const QString programa = inst.Caminho(QStringLiteral("VELTO BackUp.exe"));
        QVERIFY(CopiaModulo(programa));
        const QStringList chamarizes = Chamarizes(programa);
        for (const QString& c : chamarizes)
            QVERIFY(CopiaModulo(c));
        QVERIFY(Plataforma::AbreNoSistema(QDir::toNativeSeparators(programa)));
        QTRY_VERIFY_WITH_TIMEOUT(AlgumIniciado(QStringList{programa} + chamarizes), kEspera);
        for (const QString& c : chamarizes)
            QVERIFY2(!QFile::exists(Marca(c)), qPrintable(c + QStringLiteral(" foi iniciado")));
        QTRY_COMPARE_WITH_TIMEOUT(LeMarca(programa).size(), 2, kEspera);
        QVERIFY(RemoveQuandoTerminar(programa));
    }

    void abreEndereco() {
        if (!kWindows)
            QSKIP("here the desktop's own opener (xdg-open) would take it");
        const Instalacao inst(QStringLiteral("Pasta Suíte/NAVEGADOR"));
        const QString navegador = inst.Caminho(QStringLiteral("Navegador Falso.exe"));
        QVERIFY(CopiaModulo(navegador));
        // A scheme of this run only, handled by the stand-in, registered for this user (or,
        // where the class root does not show the user's classes, as under Wine, for the
        // machine).
        const QString esquema =
            QStringLiteral("veltoteste") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        QStringList registrados;
        const auto limpa = qScopeGuard([&] {
            for (const QString& classes : registrados)
                QSettings(classes, QSettings::NativeFormat).remove(esquema);
        });
        for (const QString& classes : {QStringLiteral("HKEY_CURRENT_USER\\Software\\Classes"),
                                       QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Classes")}) {
            {
                QSettings reg(classes + u'\\' + esquema, QSettings::NativeFormat);
                reg.setValue(QStringLiteral("Default"), QStringLiteral("URL:Teste"));
                reg.setValue(QStringLiteral("URL Protocol"), QString());
                reg.setValue(QStringLiteral("shell/open/command/Default"),
                             u'"' + QDir::toNativeSeparators(navegador) +
                                 QStringLiteral("\" \"%1\""));
            }
            registrados << classes;
            if (QSettings(QStringLiteral("HKEY_CLASSES_ROOT\\") + esquema, QSettings::NativeFormat)
                    .contains(QStringLiteral("URL Protocol")))
                break;
        }

        const QString endereco =
            esquema + QStringLiteral("://127.0.0.1:8080/Programas/"
                                     "Atualiza%C3%A7%C3%A3o?edicao=EMPRESA&x=1");
        QVERIFY(Plataforma::AbreNoSistema(endereco));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(Marca(navegador)), kEspera);
        const QStringList marca = LeMarca(navegador);
        QCOMPARE(marca.size(), 3);
        QCOMPARE(marca[2], endereco);
        QVERIFY(RemoveQuandoTerminar(navegador));
    }

    void abreFalha_data() {
        QTest::addColumn<QString>("alvo");
        QTest::newRow("programa ausente") << QStringLiteral("VELTOBackUp.exe");
        QTest::newRow("esquema sem dono")
            << QStringLiteral("veltoinexistente%1://127.0.0.1/")
                   .arg(QUuid::createUuid().toString(QUuid::Id128).left(12));
    }
    void abreFalha() {
        if (!kWindows)
            QSKIP("here the desktop's own opener (xdg-open) would take it");
        QFETCH(QString, alvo);
        const Instalacao inst(QStringLiteral("Pasta Suíte/EMPRESA"));
        if (!alvo.contains(u':'))
            alvo = QDir::toNativeSeparators(inst.Caminho(alvo));
        QVERIFY(!Plataforma::AbreNoSistema(alvo));
    }

    // A Firebird client copied into the program's folder is found there (Windows' loader
    // looks in the executable's folder first); without it the same program finds none.
    void clienteFirebirdNaPastaDoPrograma() {
        if (!kWindows)
            QSKIP("the Linux loader looks only where libraries are installed");
        const QString falso = qEnvironmentVariable("GERENCIADOR_CLIENTE_FALSO");
        QVERIFY(QFile::exists(falso));
        const Instalacao inst(QStringLiteral("Pasta Suíte/EMPRESA"));
        const QString programa = inst.Caminho(QStringLiteral("Gerenciador.exe"));
        QVERIFY(CopiaModulo(programa));
        const auto carrega = [&] {
            QProcess p;
            p.start(programa, {QStringLiteral("cliente")});
            return p.waitForFinished(kEspera) ? p.readAllStandardOutput().trimmed() : "?";
        };
        if (carrega() != "0")
            QSKIP("a Firebird client is installed on this system: the folder's cannot be told");
        QVERIFY(QFile::copy(falso, inst.Caminho(QStringLiteral("fbclient.dll"))));
        QCOMPARE(carrega(), QByteArray("1"));
    }

    // One holder per key across processes; a holder that is killed leaves nothing behind
    // that blocks the next; one that ends normally gives the lock back.
    void instanciaUnica() {
        const QString classe = QStringLiteral("TFrmPrincipal");
        const QString titulo =
            QStringLiteral("VELTO Cartório ") + QUuid::createUuid().toString(QUuid::Id128);

        QProcess primeiro;
        QVERIFY(Inicia(primeiro, {QStringLiteral("trava"), classe, titulo}));
        QCOMPARE(Resposta(primeiro), QByteArray("1"));
        {
            Plataforma::InstanciaUnica aqui(classe, titulo);
            QVERIFY(!aqui.Adquire());
            Plataforma::InstanciaUnica outroTitulo(classe, titulo + QStringLiteral(" 2"));
            QVERIFY(outroTitulo.Adquire());
        }
        QProcess segundo;
        QVERIFY(Inicia(segundo, {QStringLiteral("trava"), classe, titulo}));
        QCOMPARE(Resposta(segundo), QByteArray("0"));
        QVERIFY(Termina(segundo));

        primeiro.kill();
        QVERIFY(primeiro.waitForFinished(kEspera));
        {
            Plataforma::InstanciaUnica depois(classe, titulo);
            QVERIFY(depois.Adquire());
            QProcess terceiro;
            QVERIFY(Inicia(terceiro, {QStringLiteral("trava"), classe, titulo}));
            QCOMPARE(Resposta(terceiro), QByteArray("0"));
            QVERIFY(Termina(terceiro));
        }
        QProcess quarto;
        QVERIFY(Inicia(quarto, {QStringLiteral("trava"), classe, titulo}));
        QCOMPARE(Resposta(quarto), QByteArray("1"));
        QVERIFY(Termina(quarto));
        Plataforma::InstanciaUnica ultimo(classe, titulo);
        QVERIFY(ultimo.Adquire());
    }

    // The replace while another process holds the file open (never sharing deletion): the
    // file then holds the old or the new content, whole, never a mix or nothing; success is
    // reported exactly when it holds the new one; no temporary file stays behind; once the
    // holder lets go, the next replace goes through.
    void gravaArquivoAtomico_data() {
        QTest::addColumn<QString>("segura");
        QTest::addColumn<bool>("existe");
        QTest::addColumn<QByteArray>("antigo");
        QTest::addColumn<QByteArray>("novo");
        QTest::addColumn<bool>("exigeNovo");
        QTest::newRow("arquivo novo")
            << QString() << false << QByteArray() << Texto('N', 3) << true;
        QTest::newRow("livre") << QString() << true << Texto('A', 300) << Texto('N', 3) << true;
        QTest::newRow("aberto, escrita compartilhada, novo menor")
            << QStringLiteral("escrita") << true << Texto('A', 300) << Texto('N', 3) << true;
        QTest::newRow("aberto, escrita compartilhada, novo maior")
            << QStringLiteral("escrita") << true << Texto('A', 3) << Texto('N', 300) << true;
        QTest::newRow("aberto, escrita compartilhada, novo vazio")
            << QStringLiteral("escrita") << true << Texto('A', 30) << QByteArray() << true;
        QTest::newRow("aberto só para leitura, novo menor")
            << QStringLiteral("leitura") << true << Texto('A', 300) << Texto('N', 3) << false;
        QTest::newRow("aberto só para leitura, novo maior")
            << QStringLiteral("leitura") << true << Texto('A', 3) << Texto('N', 300) << false;
    }
    void gravaArquivoAtomico() {
        QFETCH(QString, segura);
        QFETCH(bool, existe);
        QFETCH(QByteArray, antigo);
        QFETCH(QByteArray, novo);
        QFETCH(bool, exigeNovo);
        const Instalacao inst(QStringLiteral("Pasta Suíte/EMPRESA"));
        const QString nome = QStringLiteral("VELTO.INI");
        const QString arquivo = QDir::toNativeSeparators(inst.Caminho(nome));
        if (existe)
            inst.Grava(nome, antigo);

        QProcess dono;
        const auto solta = qScopeGuard([&] { Termina(dono); });
        if (!segura.isEmpty()) {
            QVERIFY(Inicia(dono, {QStringLiteral("segura"), arquivo, segura}));
            QCOMPARE(Resposta(dono), QByteArray("1"));
        }
        QString erro;
        const bool ok = Plataforma::GravaArquivoAtomico(arquivo, novo, &erro);
        const QByteArray depois = inst.Le(nome);
        QVERIFY2(depois == novo || (existe && depois == antigo),
                 qPrintable(QStringLiteral("conteúdo misturado: %1 bytes").arg(depois.size())));
        QCOMPARE(ok, depois == novo);
        QVERIFY2(ok || !erro.isEmpty(), "falhou sem dizer por quê");
        if (exigeNovo)
            QVERIFY2(ok, qPrintable(erro));
        QCOMPARE(Conteudo(inst.Pasta()), nome);

        if (!segura.isEmpty())
            QVERIFY(Termina(dono));
        const QByteArray terceiro = Texto('T', 10);
        QVERIFY2(Plataforma::GravaArquivoAtomico(arquivo, terceiro, &erro), qPrintable(erro));
        QCOMPARE(inst.Le(nome), terceiro);
        QCOMPARE(Conteudo(inst.Pasta()), nome);
    }

    // A target that cannot be written fails with a reason and leaves nothing behind.
    void gravaImpossivel_data() {
        QTest::addColumn<QString>("alvo");
        QTest::newRow("pasta ausente") << QStringLiteral("NAOEXISTE/VELTO.INI");
        QTest::newRow("o nome é de uma pasta") << QStringLiteral("VELTO.INI");
    }
    void gravaImpossivel() {
        QFETCH(QString, alvo);
        const Instalacao inst(QStringLiteral("Pasta Suíte/EMPRESA"));
        QVERIFY(QDir().mkpath(inst.Caminho(QStringLiteral("VELTO.INI"))));
        inst.Grava(QStringLiteral("VELTO.INI/LEIA.TXT"), "x");
        inst.Grava(QStringLiteral("CONEXOES.INI"), Texto('A', 5));
        const QString antes = Conteudo(inst.Pasta());
        QString erro;
        QVERIFY2(!Plataforma::GravaArquivoAtomico(QDir::toNativeSeparators(inst.Caminho(alvo)),
                                                  Texto('N', 5), &erro),
                 qPrintable(Conteudo(inst.Pasta())));
        QVERIFY(!erro.isEmpty());
        QCOMPARE(Conteudo(inst.Pasta()), antes);
        QCOMPARE(Conteudo(inst.Caminho(QStringLiteral("VELTO.INI"))), QStringLiteral("LEIA.TXT"));
        QVERIFY(!QFileInfo::exists(inst.Caminho(QStringLiteral("NAOEXISTE"))));
    }

    // On a full disk the replace fails with a reason, the old content stays whole and no
    // temporary file is left. Needs a small file system of its own, named by
    // GERENCIADOR_DISCO_CHEIO (scripts/test-windows mounts one when it may).
    void gravaDiscoCheio() {
        const QString disco = qEnvironmentVariable("GERENCIADOR_DISCO_CHEIO");
        if (disco.isEmpty())
            QSKIP("GERENCIADOR_DISCO_CHEIO does not name a small file system of its own");
        QTemporaryDir dir(QDir::fromNativeSeparators(disco) + QStringLiteral("/EMPRESA-XXXXXX"));
        QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
        const QString arquivo = dir.filePath(QStringLiteral("VELTO.INI"));
        {
            QFile f(arquivo);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(Texto('A', 3)) > 0);
        }
        QFile enche(dir.filePath(QStringLiteral("ENCHE.BIN")));
        QVERIFY(enche.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        for (const int tamanho : {65536, 4096, 512, 1}) {
            const QByteArray bloco(tamanho, 'x');
            while (enche.write(bloco) == tamanho) {
            }
        }
        enche.close();

        QString erro;
        QVERIFY(!Plataforma::GravaArquivoAtomico(QDir::toNativeSeparators(arquivo), Texto('N', 300),
                                                 &erro));
        QVERIFY(!erro.isEmpty());
        QCOMPARE(Le(arquivo), Texto('A', 3));
        QCOMPARE(Conteudo(dir.path()), QStringLiteral("ENCHE.BIN VELTO.INI"));
    }

    // A read-only file is refused and kept as it was.
    void gravaSomenteLeitura() {
        const Instalacao inst(QStringLiteral("Pasta Suíte/EMPRESA"));
        const QString nome = QStringLiteral("CONEXOES.INI");
        inst.Grava(nome, Texto('A', 5));
        QFile f(inst.Caminho(nome));
        const auto permissoes = f.permissions();
        QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup |
                                 QFile::ReadOther));
        const auto restaura = qScopeGuard([&] { f.setPermissions(permissoes); });
        QString erro;
        QVERIFY(!Plataforma::GravaArquivoAtomico(QDir::toNativeSeparators(inst.Caminho(nome)),
                                                 Texto('N', 5), &erro));
        QVERIFY(!erro.isEmpty());
        QCOMPARE(inst.Le(nome), Texto('A', 5));
        QCOMPARE(Conteudo(inst.Pasta()), nome);
    }
};

QTEST_GUILESS_MAIN(TstWinPlataforma)
#include "tst_win_plataforma.moc"
