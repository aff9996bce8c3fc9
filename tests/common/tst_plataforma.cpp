#include "common/Plataforma.h"
#include "support/Instalacao.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>
#include <cstdio>
#include <functional>
#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

using Plataforma::Versao;
// Spoils a copy of the program; false when the copy has nothing this spoiler acts on.
using Mexe = std::function<bool(QByteArray&)>;
Q_DECLARE_METATYPE(Mexe)

namespace {

// Paths written with '/' in the tables, in the platform's spelling.
QString Nativo(QString caminho) {
    return caminho.replace(u'/', Plataforma::Delimitador());
}

Versao VersaoDoProjeto() {
    const QStringList partes = QStringLiteral(GERENCIADOR_VERSAO_PROJETO).split(u'.');
    Versao v{};
    for (int i = 0; i < 4 && i < partes.size(); ++i)
        v[std::size_t(i)] = std::uint16_t(partes[i].toUInt());
    return v;
}

bool Elf(const QByteArray& b) {
    return b.startsWith("\177ELF");
}

// The 16 bytes that start the fixed version block: signature, structure version, version.
QByteArray BlocoVersao(const Versao& v) {
    QByteArray b;
    auto le32 = [&b](std::uint32_t x) {
        for (int i = 0; i < 4; ++i)
            b.append(char((x >> (8 * i)) & 0xFF));
    };
    le32(0xFEEF04BDu);
    le32(0x00010000u);
    le32((std::uint32_t(v[0]) << 16) | v[1]);
    le32((std::uint32_t(v[2]) << 16) | v[3]);
    return b;
}

void EscreveLe64(QByteArray& b, qsizetype pos, std::uint64_t v, int tamanho) {
    for (int i = 0; i < tamanho; ++i)
        b[pos + i] = char((v >> (8 * i)) & 0xFF);
}

// The child process of the single-instance tests: takes the lock, says so on its standard
// output and, when it holds the lock, keeps it until its standard input closes.
int Instancia(const QString& classe, const QString& titulo) {
    Plataforma::InstanciaUnica instancia(classe, titulo);
    const bool adquiriu = instancia.Adquire();
    std::fputs(adquiriu ? "adquiriu\n" : "recusou\n", stdout);
    std::fflush(stdout);
    if (adquiriu)
        while (std::fgetc(stdin) != EOF) {
        }
    return 0;
}

} // namespace

class TstPlataforma : public QObject {
    Q_OBJECT

    // Starts a copy of this test program holding (or refused) the lock; returns its answer.
    QString IniciaInstancia(
        QProcess& p, const QString& classe, const QString& titulo,
        const QProcessEnvironment& ambiente = QProcessEnvironment::systemEnvironment()) {
        p.setProcessEnvironment(ambiente);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.setReadChannel(QProcess::StandardOutput);
        p.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--instancia"), classe, titulo});
        if (!p.waitForStarted())
            return QStringLiteral("não iniciou");
        while (!p.canReadLine() && p.state() != QProcess::NotRunning)
            p.waitForReadyRead(1000);
        return QString::fromLatin1(p.readLine()).trimmed();
    }

    // Ends a copy that holds the lock the normal way; false when it did not end well.
    static bool Encerra(QProcess& p) {
        p.closeWriteChannel();
        // One that was refused may have ended already (waitForFinished then answers false).
        if (p.state() != QProcess::NotRunning && !p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            return false;
        }
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

private Q_SLOTS:
    void pastaDoCaminho_data() {
        QTest::addColumn<QString>("caminho");
        QTest::addColumn<QString>("pasta");
        QTest::addColumn<QString>("ultimo");
        QTest::newRow("comum") << "/opt/VELTO/EMPRESA/Gerenciador"
                               << "/opt/VELTO/EMPRESA"
                               << "Gerenciador";
        QTest::newRow("na raiz") << "/Gerenciador"
                                 << "/"
                                 << "Gerenciador";
        QTest::newRow("a raiz") << "/"
                                << "/"
                                << "";
        QTest::newRow("sem delimitador") << "Gerenciador"
                                         << ""
                                         << "Gerenciador";
        QTest::newRow("delimitador no fim") << "/opt/EMPRESA/"
                                            << "/opt/EMPRESA"
                                            << "";
        QTest::newRow("vazio") << ""
                               << ""
                               << "";
        QTest::newRow("acento") << u"/opt/Cartório/G"_qs << u"/opt/Cartório"_qs << "G";
#ifdef Q_OS_WIN
        QTest::newRow("drive") << "C:/VELTO/EMPRESA/G.EXE"
                               << "C:/VELTO/EMPRESA"
                               << "G.EXE";
        QTest::newRow("raiz do drive") << "C:/G.EXE"
                                       << "C:/"
                                       << "G.EXE";
#endif
    }
    void pastaDoCaminho() {
        QFETCH(QString, caminho);
        QFETCH(QString, pasta);
        QFETCH(QString, ultimo);
        QCOMPARE(Plataforma::PastaDoCaminho(Nativo(caminho)), Nativo(pasta));
        QCOMPARE(Plataforma::UltimoComponente(Nativo(caminho)), ultimo);
    }

    void pastaPrograma_data() {
        QTest::addColumn<QString>("executavel");
        QTest::addColumn<QString>("pasta");
#ifdef Q_OS_WIN
        QTest::newRow("maiúsculas ASCII")
            << u"C:/Velto/Cartório/g.exe"_qs << u"C:/VELTO/CARTóRIO/"_qs;
        QTest::newRow("raiz do drive: delimitador dobrado") << "c:/G.EXE"
                                                            << "C://";
#else
        QTest::newRow("como o sistema de arquivos escreve")
            << u"/opt/Velto/Cartório/Gerenciador"_qs << u"/opt/Velto/Cartório/"_qs;
        QTest::newRow("raiz") << "/Gerenciador"
                              << "/";
#endif
        QTest::newRow("sem delimitador") << "Gerenciador"
                                         << "/";
    }
    void pastaPrograma() {
        QFETCH(QString, executavel);
        QFETCH(QString, pasta);
        QCOMPARE(Plataforma::PastaPrograma(Nativo(executavel)), Nativo(pasta));
    }

    void caminhoExecutavel() {
        const QString meu = Plataforma::CaminhoExecutavel();
        QVERIFY(!meu.isEmpty());
        QCOMPARE(QFileInfo(meu).canonicalFilePath(),
                 QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
        QVERIFY(Plataforma::PastaPrograma().endsWith(Plataforma::Delimitador()));
    }

    // The version written in CMake, read back from the built program's file.
    void versaoDoPrograma() {
        QVERIFY2(QFile::exists(CaminhoPrograma()), "GERENCIADOR_BIN não aponta o programa");
        const auto versao = Plataforma::LeVersaoArquivo(CaminhoPrograma());
        QVERIFY(versao.has_value());
        QCOMPARE(*versao, VersaoDoProjeto());
        QCOMPARE(Plataforma::LeVersaoArquivo(Plataforma::CaminhoExecutavel()), versao);
    }

    // Damaged or foreign files read as "no version", never crash.
    void versaoInvalida_data() {
        QTest::addColumn<Mexe>("mexe");
        const auto versao = VersaoDoProjeto();
        QTest::newRow("vazio") << Mexe([](QByteArray& b) { return b.clear(), true; });
        QTest::newRow("texto") << Mexe([](QByteArray& b) {
            b = "[BOTÕES]\r\nVELTOM01.EXE=1\r\n";
            return true;
        });
        QTest::newRow("só a assinatura ELF") << Mexe([](QByteArray& b) {
            b.truncate(4);
            return true;
        });
        QTest::newRow("cortado em 64 bytes") << Mexe([](QByteArray& b) {
            b.truncate(64);
            return true;
        });
        QTest::newRow("cortado ao meio") << Mexe([](QByteArray& b) {
            if (!Elf(b)) // where a PE keeps its version varies
                return false;
            b.truncate(b.size() / 2);
            return true;
        });
        QTest::newRow("sem a tabela de seções") << Mexe([](QByteArray& b) {
            if (!Elf(b)) // where a PE keeps its version varies
                return false;
            b.truncate(b.size() - 64);
            return true;
        });
        QTest::newRow("assinatura estragada") << Mexe([versao](QByteArray& b) {
            const QByteArray bloco = BlocoVersao(versao);
            const qsizetype pos = b.indexOf(bloco);
            if (pos < 0 || b.indexOf(bloco, pos + 1) >= 0)
                return false;
            b[pos] = char(b[pos] ^ 0x55);
            return true;
        });
        QTest::newRow("tabela de seções fora do arquivo") << Mexe([](QByteArray& b) {
            if (!Elf(b))
                return false;
            EscreveLe64(b, 0x28, ~std::uint64_t(0) - 16, 8);
            return true;
        });
        QTest::newRow("entradas enormes") << Mexe([](QByteArray& b) {
            if (!Elf(b))
                return false;
            EscreveLe64(b, 0x3A, 0xFFFF, 2);
            EscreveLe64(b, 0x3C, 0xFFFF, 2);
            return true;
        });
        QTest::newRow("índice dos nomes fora") << Mexe([](QByteArray& b) {
            if (!Elf(b))
                return false;
            EscreveLe64(b, 0x3E, 0xFFFE, 2);
            return true;
        });
        QTest::newRow("nomes das seções fora do arquivo") << Mexe([](QByteArray& b) {
            if (!Elf(b))
                return false;
            // The string table's entry: offset and size pushed past the end.
            const auto shoff = qFromLittleEndian<quint64>(b.constData() + 0x28);
            const auto shstrndx = qFromLittleEndian<quint16>(b.constData() + 0x3E);
            const qsizetype entrada = qsizetype(shoff) + shstrndx * 64;
            EscreveLe64(b, entrada + 0x18, quint64(b.size()) - 4, 8);
            EscreveLe64(b, entrada + 0x20, 1u << 30, 8);
            return true;
        });
    }
    void versaoInvalida() {
        QFETCH(Mexe, mexe);
        QFile f(CaminhoPrograma());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        if (!mexe(bytes))
            QSKIP("o formato deste executável não tem o que esta linha estraga");
        Instalacao inst;
        inst.Grava(QStringLiteral("COPIA"), bytes);
        QCOMPARE(Plataforma::LeVersaoArquivo(inst.Caminho(QStringLiteral("COPIA"))),
                 std::optional<Versao>());
    }

    void versaoSemArquivo() {
        Instalacao inst;
        QCOMPARE(Plataforma::LeVersaoArquivo(inst.Caminho(QStringLiteral("NADA"))),
                 std::optional<Versao>());
        QCOMPARE(Plataforma::LeVersaoArquivo(inst.Pasta()), std::optional<Versao>());
#ifndef Q_OS_WIN
        // A pipe with nobody writing would block a reader for ever.
        const QString fifo = inst.Caminho(QStringLiteral("FIFO"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        QCOMPARE(Plataforma::LeVersaoArquivo(fifo), std::optional<Versao>());
#endif
    }

#ifndef Q_OS_WIN
    // A copy of the program without its version section (objcopy) has no version.
    void versaoSemSecao() {
        const QString objcopy = QStandardPaths::findExecutable(QStringLiteral("objcopy"));
        if (objcopy.isEmpty())
            QSKIP("objcopy não encontrado (pacote binutils)");
        Instalacao inst;
        const QString copia = inst.Caminho(QStringLiteral("SEM_SECAO"));
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(objcopy, {QStringLiteral("--remove-section"), QStringLiteral(".gerenciador_versao"),
                          CaminhoPrograma(), copia});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QFile::exists(copia));
        QCOMPARE(Plataforma::LeVersaoArquivo(copia), std::optional<Versao>());
    }
#endif

    // One copy per window class and title, across processes.
    void instanciaUnica() {
        const QString classe = QStringLiteral("TFrmPrincipal");
        const QString titulo = QStringLiteral("Gerenciador VELTO - Empresa %1")
                                   .arg(QCoreApplication::applicationPid());
        QProcess primeira, segunda, outra, depois;
        QCOMPARE(IniciaInstancia(primeira, classe, titulo), QStringLiteral("adquiriu"));
        QCOMPARE(IniciaInstancia(segunda, classe, titulo), QStringLiteral("recusou"));
        QVERIFY(Encerra(segunda));
        QCOMPARE(IniciaInstancia(outra, classe, titulo + QStringLiteral(" - Cartório")),
                 QStringLiteral("adquiriu"));
        // The first one dies without cleaning up: its lock does not block the next.
        primeira.kill();
        QVERIFY(primeira.waitForFinished(30000));
        QCOMPARE(primeira.exitStatus(), QProcess::CrashExit);
        QCOMPARE(IniciaInstancia(depois, classe, titulo), QStringLiteral("adquiriu"));
        // A copy that ends normally gives the lock back.
        QVERIFY(Encerra(depois));
        QProcess ultima;
        QCOMPARE(IniciaInstancia(ultima, classe, titulo), QStringLiteral("adquiriu"));
        QVERIFY(Encerra(ultima));
        QVERIFY(Encerra(outra));
    }

    // A runtime folder that cannot hold the lock: the temporary folder does, and the rule
    // still holds.
    void instanciaSemPastaDeExecucao() {
        Instalacao inst;
        inst.Grava(QStringLiteral("arquivo"), "x");
        QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
        ambiente.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                        inst.Caminho(QStringLiteral("arquivo/sub")));
        ambiente.insert(QStringLiteral("TMPDIR"), inst.Pasta());
        const QString classe = QStringLiteral("TFrmPrincipal");
        const QString titulo = QStringLiteral("Gerenciador VELTO - Empresa");
        QProcess primeira, segunda;
        QCOMPARE(IniciaInstancia(primeira, classe, titulo, ambiente), QStringLiteral("adquiriu"));
        QCOMPARE(IniciaInstancia(segunda, classe, titulo, ambiente), QStringLiteral("recusou"));
        QVERIFY(Encerra(segunda));
        QVERIFY(Encerra(primeira));
    }
};

int main(int argc, char** argv) {
    if (argc == 4 && qstrcmp(argv[1], "--instancia") == 0)
        return Instancia(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    QCoreApplication app(argc, argv);
    TstPlataforma teste;
    return QTest::qExec(&teste, argc, argv);
}

#include "tst_plataforma.moc"
