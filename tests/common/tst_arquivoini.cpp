#include "common/ArquivoIni.h"
#include "common/Plataforma.h"
#include "support/Instalacao.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <cstdio>
#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#endif

namespace {

const QString kPadrao = QStringLiteral("<padrão>");

// Two versions of a file of a few KB that differ on every line, for the writer process.
QByteArray VersaoDoArquivo(int versao) {
    QByteArray r = "[Teste]\r\n";
    const char letra = versao == 0 ? 'A' : 'B';
    for (int i = 0; i < 100; ++i)
        r += "Chave" + QByteArray::number(i) + '=' + QByteArray(40, letra) + "\r\n";
    return r;
}

// The writer process: commits versoes alternating versions of the file through the engine,
// one atomic replace each.
int Escritor(const QString& caminho, int versoes) {
    for (int n = 1; n <= versoes; ++n) {
        ArquivoIni ini(caminho);
        const QString valor(40, QLatin1Char(n % 2 == 0 ? 'A' : 'B'));
        for (int i = 0; i < 100; ++i)
            ini.GravaTexto(QStringLiteral("Teste"), QStringLiteral("Chave%1").arg(i), valor);
        if (!ini.LeituraOk() || !ini.Grava())
            return 1;
    }
    return 0;
}

// The id of a process of this machine that has ended.
qint64 PidMorto() {
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--escritor"), QStringLiteral("nada"), QStringLiteral("0")});
    p.waitForStarted();
    const qint64 pid = p.processId();
    p.waitForFinished();
    return pid;
}

#ifndef Q_OS_WIN
bool Root() {
    return ::geteuid() == 0;
}

struct stat Estado(const QString& caminho) {
    struct stat st {};
    ::stat(QFile::encodeName(caminho).constData(), &st);
    return st;
}

#endif

#ifndef Q_OS_WIN
// Runs as an ordinary user (--sem-root): a file without read permission is not read and not
// replaced; a file without write permission is not replaced though its folder would allow it.
int SemRoot(const QString& ilegivel, const QString& somenteLeitura) {
    int falhas = 0;
    {
        ArquivoIni ini(ilegivel);
        ini.GravaTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("2"));
        if (ini.LeituraOk() || ini.Grava()) {
            std::fprintf(stderr, "arquivo ilegível lido ou gravado\n");
            ++falhas;
        }
    }
    {
        ArquivoIni ini(somenteLeitura);
        ini.GravaTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("2"));
        if (!ini.LeituraOk() || ini.Grava()) {
            std::fprintf(stderr, "arquivo somente para leitura não lido ou gravado\n");
            ++falhas;
        }
    }
    return falhas;
}
#endif

// Every entry of a folder, hidden ones included.
QStringList Entradas(const QString& pasta) {
    return QDir(pasta).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TstArquivoIni : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void leitura_data() {
        QTest::addColumn<QByteArray>("conteudo");
        QTest::addColumn<QString>("secao");
        QTest::addColumn<QString>("chave");
        QTest::addColumn<QString>("esperado");
        // clang-format off
        QTest::newRow("caixa dos nomes") << QByteArray("[Conexao]\r\nServidor=a\r\n") << "CONEXAO" << "sErViDoR" << "a";
        QTest::newRow("brancos e tabs") << QByteArray(" \t[ Sec ]\t\r\n \tk \t=\t v  v \t\r\n") << "sec" << "K" << "v  v";
        QTest::newRow("nomes pedidos aparados") << QByteArray("[S]\nk=1\n") << " S\t" << "\tk " << "1";
        QTest::newRow("aspas duplas") << QByteArray("[S]\nk= \"x y\" \n") << "S" << "k" << "x y";
        QTest::newRow("aspas simples") << QByteArray("[S]\nk='x'\n") << "S" << "k" << "x";
        QTest::newRow("aspas vazias") << QByteArray("[S]\nk=\"\"\n") << "S" << "k" << "";
        QTest::newRow("aspas sem par") << QByteArray("[S]\nk=\"x'\n") << "S" << "k" << "\"x'";
        QTest::newRow("uma aspa só") << QByteArray("[S]\nk=\"\n") << "S" << "k" << "\"";
        QTest::newRow("aspa só no início") << QByteArray("[S]\nk=\"x\n") << "S" << "k" << "\"x";
        QTest::newRow("aspas no meio") << QByteArray("[S]\nk=a\"b\"\n") << "S" << "k" << "a\"b\"";
        QTest::newRow("valor vazio") << QByteArray("[S]\nk=\n") << "S" << "k" << "";
        QTest::newRow("valor com =") << QByteArray("[S]\nk=a=b\n") << "S" << "k" << "a=b";
        QTest::newRow("; depois do valor") << QByteArray("[S]\nk=v ; x\n") << "S" << "k" << "v ; x";
        QTest::newRow("0x1A no fim") << QByteArray("[S]\nk=v\x1A") << "S" << "k" << "v";
        QTest::newRow("seção repetida: a primeira") << QByteArray("[S]\nk=1\n[s]\nk=2\nj=3\n") << "S" << "k" << "1";
        QTest::newRow("seção repetida: só a primeira") << QByteArray("[S]\nk=1\n[s]\nk=2\nj=3\n") << "S" << "j" << kPadrao;
        QTest::newRow("chave repetida: a primeira") << QByteArray("[S]\nk=1\nK=2\n") << "S" << "k" << "1";
        QTest::newRow("comentário não é chave") << QByteArray("[S]\n;k=1\n") << "S" << ";k" << kPadrao;
        QTest::newRow("comentário com brancos") << QByteArray("[S]\n \t; k=1\nk=2\n") << "S" << "k" << "2";
        QTest::newRow("linha sem =") << QByteArray("[S]\nk\nj=1\n") << "S" << "k" << kPadrao;
        QTest::newRow("antes do primeiro cabeçalho") << QByteArray("k=1\n[S]\nj=2\n") << "S" << "k" << kPadrao;
        QTest::newRow("[x sem ] não é cabeçalho") << QByteArray("[S]\n[x\nk=1\n") << "S" << "k" << "1";
        QTest::newRow("[x sem ] não abre seção") << QByteArray("[S]\n[x\nk=1\n") << "x" << "k" << kPadrao;
        QTest::newRow("[x=1 sem ] é chave") << QByteArray("[S]\n[x=1\n") << "S" << "[x" << "1";
        QTest::newRow("nome até o último ]") << QByteArray("[a]b]\nk=1\n") << "a]b" << "k" << "1";
        QTest::newRow("texto depois do ]") << QByteArray("[S] resto\nk=1\n") << "S" << "k" << "1";
        QTest::newRow("cabeçalho com brancos antes") << QByteArray("  [S]\nk=1\n") << "S" << "k" << "1";
        QTest::newRow("CR") << QByteArray("[S]\rk=1\rj=2") << "S" << "j" << "2";
        QTest::newRow("LF") << QByteArray("[S]\nk=1\nj=2") << "S" << "j" << "2";
        QTest::newRow("CRLF") << QByteArray("[S]\r\nk=1\r\nj=2\r\n") << "S" << "j" << "2";
        QTest::newRow("misto") << QByteArray("[A]\r\na=1\n[S]\rk=1\r\r\nj=2\n\rl=3") << "S" << "l" << "3";
        QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF[S]\r\nk=1\r\n") << "S" << "k" << "1";
        QTest::newRow("BOTÕES 0xD5") << QByteArray("[BOT\xD5" "ES]\r\nVELTOM01.EXE=1\r\n") << u"BOTÕES"_qs << "veltom01.exe" << "1";
        QTest::newRow("Aplicação 0xE7 0xE3") << QByteArray("[X]\r\nAplica\xE7\xE3o=C:\\VELTO\\\r\n") << "x" << u"Aplicação"_qs << "C:\\VELTO\\";
        QTest::newRow("acento não muda de caixa") << QByteArray("[BOT\xF5" "ES]\r\nk=1\r\n") << u"BOTÕES"_qs << "k" << kPadrao;
        QTest::newRow("valor em Windows-1252") << QByteArray("[S]\nk=Cart\xF3rio \x80\n") << "S" << "k" << u"Cartório €"_qs;
        QTest::newRow("seção ausente") << QByteArray("[S]\nk=1\n") << "T" << "k" << kPadrao;
        QTest::newRow("chave ausente") << QByteArray("[S]\nk=1\n[T]\nj=2\n") << "S" << "j" << kPadrao;
        QTest::newRow("arquivo vazio") << QByteArray() << "S" << "k" << kPadrao;
        QTest::newRow("NUL no valor") << QByteArray("[S]\nk=a\0b\n", 10) << "S" << "k" << QString::fromLatin1("a\0b", 3);
        // clang-format on
    }
    void leitura() {
        QFETCH(QByteArray, conteudo);
        QFETCH(QString, secao);
        QFETCH(QString, chave);
        QFETCH(QString, esperado);
        Instalacao inst;
        inst.Grava(QStringLiteral("X.INI"), conteudo);
        const ArquivoIni ini(inst.Caminho(QStringLiteral("X.INI")));
        QVERIFY(ini.LeituraOk());
        QCOMPARE(ini.LeTexto(secao, chave, kPadrao), esperado);
        // Reading alone never changes what would be written.
        QCOMPARE(ini.Conteudo(), conteudo);
    }

    void arquivoAusente() {
        Instalacao inst;
        ArquivoIni ini(inst.Caminho(QStringLiteral("NADA.INI")));
        QVERIFY(ini.LeituraOk());
        QCOMPARE(ini.LeTexto(QStringLiteral("S"), QStringLiteral("k"), kPadrao), kPadrao);
        QVERIFY(!ini.ExisteSecao(QStringLiteral("S")));
        QVERIFY(ini.Secoes().isEmpty());
        // Nothing to write creates nothing.
        QVERIFY(ini.Grava());
        QVERIFY(!QFile::exists(ini.Caminho()));
        ini.GravaTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"));
        QVERIFY(ini.Grava());
        QCOMPARE(inst.Le(QStringLiteral("NADA.INI")), QByteArray("[S]\r\nk=v\r\n"));
    }

    void secoes_data() {
        QTest::addColumn<QByteArray>("conteudo");
        QTest::addColumn<QStringList>("secoes");
        QTest::newRow("ordem do arquivo, repetidas inclusive")
            << QByteArray("k=0\n[B]\n[a]\nk=1\n[B]\n;[C]\n[x\n  [ D ]  \n[]\n")
            << QStringList{"B", "a", "B", "D", ""};
        QTest::newRow("vazio") << QByteArray() << QStringList{};
        QTest::newRow("acento") << QByteArray("[BOT\xD5"
                                              "ES]\r\n[CART\xD3RIO]")
                                << QStringList{u"BOTÕES"_qs, u"CARTÓRIO"_qs};
    }
    void secoes() {
        QFETCH(QByteArray, conteudo);
        QFETCH(QStringList, secoes);
        Instalacao inst;
        inst.Grava(QStringLiteral("X.INI"), conteudo);
        const ArquivoIni ini(inst.Caminho(QStringLiteral("X.INI")));
        QCOMPARE(ini.Secoes(), secoes);
    }

    void chaves() {
        Instalacao inst;
        inst.Grava(QStringLiteral("X.INI"), "[S]\nk=1\n;c=2\nj\n K =3\n[s]\nm=4\n");
        const ArquivoIni ini(inst.Caminho(QStringLiteral("X.INI")));
        QCOMPARE(ini.Chaves(QStringLiteral("s")), (QStringList{"k", "K"}));
        QVERIFY(ini.Chaves(QStringLiteral("T")).isEmpty());
    }

    void escrita_data() {
        QTest::addColumn<QByteArray>("antes");
        QTest::addColumn<QString>("operacao");
        QTest::addColumn<QString>("secao");
        QTest::addColumn<QString>("chave");
        QTest::addColumn<QString>("valor");
        QTest::addColumn<QByteArray>("depois");
        // clang-format off
        QTest::newRow("altera só a linha da chave")
            << QByteArray("; topo\r\n[S]\n  Chave = velho ; c\r\nOutra= x \n[T]\rChave=1")
            << "grava" << "s" << "CHAVE" << "novo"
            << QByteArray("; topo\r\n[S]\nChave=novo\r\nOutra= x \n[T]\rChave=1");
        QTest::newRow("altera a última linha sem fim")
            << QByteArray("[S]\r\nk=1") << "grava" << "S" << "k" << "2" << QByteArray("[S]\r\nk=2");
        QTest::newRow("chave nova após a última linha não branca")
            << QByteArray("[S]\r\na=1\r\n\r\n \t\r\n[T]\r\nb=2\r\n") << "grava" << "S" << "c" << "3"
            << QByteArray("[S]\r\na=1\r\nc=3\r\n\r\n \t\r\n[T]\r\nb=2\r\n");
        QTest::newRow("chave nova após comentário")
            << QByteArray("[S]\na=1\n; fim\n\n[T]\n") << "grava" << "S" << "c" << "3"
            << QByteArray("[S]\na=1\n; fim\nc=3\r\n\n[T]\n");
        QTest::newRow("chave nova, última linha sem fim")
            << QByteArray("[S]\na=1") << "grava" << "S" << "c" << "3" << QByteArray("[S]\na=1\r\nc=3\r\n");
        QTest::newRow("chave nova em seção vazia")
            << QByteArray("[S]") << "grava" << "S" << "c" << "3" << QByteArray("[S]\r\nc=3\r\n");
        QTest::newRow("seção repetida: chave nova na primeira")
            << QByteArray("[S]\na=1\n[S]\nb=2\n") << "grava" << "S" << "c" << "3"
            << QByteArray("[S]\na=1\nc=3\r\n[S]\nb=2\n");
        QTest::newRow("seção repetida: altera a primeira")
            << QByteArray("[S]\nk=1\n[S]\nk=2\n") << "grava" << "s" << "k" << "9"
            << QByteArray("[S]\nk=9\n[S]\nk=2\n");
        QTest::newRow("chave repetida: altera a primeira")
            << QByteArray("[S]\nk=1\nk=2\n") << "grava" << "S" << "K" << "9" << QByteArray("[S]\nk=9\nk=2\n");
        QTest::newRow("seção nova no fim")
            << QByteArray("[S]\r\na=1\r\n") << "grava" << "N" << "k" << "v"
            << QByteArray("[S]\r\na=1\r\n[N]\r\nk=v\r\n");
        QTest::newRow("seção nova, última linha sem fim")
            << QByteArray("[S]\na=1") << "grava" << "N" << "k" << "v" << QByteArray("[S]\na=1\r\n[N]\r\nk=v\r\n");
        QTest::newRow("seção nova, arquivo vazio")
            << QByteArray() << "grava" << " N " << " k " << "v" << QByteArray("[N]\r\nk=v\r\n");
        QTest::newRow("seção nova com acentos")
            << QByteArray() << "grava" << u"CARTÓRIO"_qs << u"Servidor Aplicação"_qs << u"C:\\Cartório"_qs
            << QByteArray("[CART\xD3RIO]\r\nServidor Aplica\xE7\xE3o=C:\\Cart\xF3rio\r\n");
        QTest::newRow("antes do primeiro cabeçalho não é seção")
            << QByteArray("k=1\r\n") << "grava" << "S" << "k" << "2" << QByteArray("k=1\r\n[S]\r\nk=2\r\n");
        QTest::newRow("quebras no valor não criam linhas")
            << QByteArray("[S]\r\nk=1\r\n") << "grava" << "S" << "k" << "a\r\nb\nc\rd"
            << QByteArray("[S]\r\nk=a  b c d\r\n");
        QTest::newRow("quebras no nome não criam linhas")
            << QByteArray() << "grava" << "A\nB" << "k\r\n[X]\r\nj" << "v"
            << QByteArray("[A B]\r\nk  [X]  j=v\r\n");
        QTest::newRow("BOM fica")
            << QByteArray("\xEF\xBB\xBF[S]\r\nk=1\r\n") << "grava" << "S" << "k" << "2"
            << QByteArray("\xEF\xBB\xBF[S]\r\nk=2\r\n");
        QTest::newRow("BOM fica, seção nova")
            << QByteArray("\xEF\xBB\xBF") << "grava" << "N" << "k" << "v" << QByteArray("\xEF\xBB\xBF[N]\r\nk=v\r\n");
        QTest::newRow("valor igual não muda nada")
            << QByteArray("[S]\nk = \"v\" \n") << "grava" << "S" << "k" << "v" << QByteArray("[S]\nk = \"v\" \n");
        QTest::newRow("valor com as mesmas aspas não muda nada")
            << QByteArray("[S]\nk=\"v\"\n") << "grava" << "S" << "k" << "\"v\"" << QByteArray("[S]\nk=\"v\"\n");
        QTest::newRow("apaga chave")
            << QByteArray("[S]\r\na=1\r\nk=2\r\nb=3\r\n") << "apagaChave" << "s" << "K" << ""
            << QByteArray("[S]\r\na=1\r\nb=3\r\n");
        QTest::newRow("apaga chave repetida: a primeira")
            << QByteArray("[S]\nk=1\nk=2\n") << "apagaChave" << "S" << "k" << "" << QByteArray("[S]\nk=2\n");
        QTest::newRow("apaga chave ausente")
            << QByteArray("[S]\nk=1\n") << "apagaChave" << "S" << "j" << "" << QByteArray("[S]\nk=1\n");
        QTest::newRow("apaga seção até o próximo cabeçalho")
            << QByteArray("x\r\n[A]\r\na=1\r\n; c\r\n\r\n[S]\r\nk=1\r\n;c\r\n\r\n[B]\r\nb=1")
            << "apagaSecao" << "s" << "" << ""
            << QByteArray("x\r\n[A]\r\na=1\r\n; c\r\n\r\n[B]\r\nb=1");
        QTest::newRow("apaga a última seção")
            << QByteArray("[A]\na=1\n[S]\nk=1") << "apagaSecao" << "S" << "" << "" << QByteArray("[A]\na=1\n");
        QTest::newRow("apaga seção repetida: a primeira")
            << QByteArray("[S]\nk=1\n[S]\nk=2\n") << "apagaSecao" << "S" << "" << "" << QByteArray("[S]\nk=2\n");
        QTest::newRow("apaga seção ausente")
            << QByteArray("[S]\nk=1\n") << "apagaSecao" << "T" << "" << "" << QByteArray("[S]\nk=1\n");
        // clang-format on
    }
    void escrita() {
        QFETCH(QByteArray, antes);
        QFETCH(QString, operacao);
        QFETCH(QString, secao);
        QFETCH(QString, chave);
        QFETCH(QString, valor);
        QFETCH(QByteArray, depois);
        Instalacao inst;
        inst.Grava(QStringLiteral("X.INI"), antes);
        const QString caminho = inst.Caminho(QStringLiteral("X.INI"));
        {
            ArquivoIni ini(caminho);
            if (operacao == QLatin1String("grava"))
                ini.GravaTexto(secao, chave, valor);
            else if (operacao == QLatin1String("apagaChave"))
                ini.ApagaChave(secao, chave);
            else
                ini.ApagaSecao(secao);
            QCOMPARE(ini.Alterado(), antes != depois);
            QCOMPARE(ini.Conteudo(), depois);
            QVERIFY2(ini.Grava(), qPrintable(ini.Erro()));
            QVERIFY(!ini.Alterado());
        }
        QCOMPARE(inst.Le(QStringLiteral("X.INI")), depois);
        QCOMPARE(Entradas(inst.Pasta()), QStringList{"X.INI"});
        const ArquivoIni relido(caminho);
        if (operacao == QLatin1String("grava") && !valor.startsWith(u'"'))
            QCOMPARE(relido.LeTexto(secao, chave, kPadrao),
                     QString(valor).replace(u'\r', u' ').replace(u'\n', u' '));
    }

    // Writes in a row stay in the object and reach the disk together.
    void variasEscritasUmaGravacao() {
        Instalacao inst;
        inst.Grava(QStringLiteral("X.INI"), "[S]\r\nk=1\r\n");
        ArquivoIni ini(inst.Caminho(QStringLiteral("X.INI")));
        ini.GravaTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("2"));
        ini.GravaTexto(QStringLiteral("T"), QStringLiteral("a"), QStringLiteral("1"));
        ini.GravaTexto(QStringLiteral("T"), QStringLiteral("b"), QStringLiteral("2"));
        ini.ApagaChave(QStringLiteral("S"), QStringLiteral("k"));
        QCOMPARE(ini.LeTexto(QStringLiteral("T"), QStringLiteral("b")), QStringLiteral("2"));
        QCOMPARE(inst.Le(QStringLiteral("X.INI")), QByteArray("[S]\r\nk=1\r\n"));
        QVERIFY(ini.Grava());
        QCOMPARE(inst.Le(QStringLiteral("X.INI")), QByteArray("[S]\r\n[T]\r\na=1\r\nb=2\r\n"));
    }

    // A key that would not read back (it would turn into a comment, a header or another key)
    // is not written, and the operation fails as a whole, leaving the file as it was.
    void chaveQueNaoVolta_data() {
        QTest::addColumn<QString>("chave");
        QTest::addColumn<QString>("valor");
        QTest::newRow("comentário") << ";x"
                                    << "1";
        QTest::newRow("cabeçalho") << "[x]"
                                   << "1";
        QTest::newRow("com =") << "a=b"
                               << "1";
        QTest::newRow("valor que faz cabeçalho") << "[x"
                                                 << "a]";
    }
    void chaveQueNaoVolta() {
        QFETCH(QString, chave);
        QFETCH(QString, valor);
        Instalacao inst;
        const QByteArray original = "[S]\r\n[x=0\r\n";
        inst.Grava(QStringLiteral("X.INI"), original);
        ArquivoIni ini(inst.Caminho(QStringLiteral("X.INI")));
        ini.GravaTexto(QStringLiteral("T"), QStringLiteral("ok"), QStringLiteral("1"));
        ini.GravaTexto(QStringLiteral("S"), chave, valor);
        QVERIFY(!ini.Grava());
        QVERIFY(!ini.Erro().isEmpty());
        QCOMPARE(inst.Le(QStringLiteral("X.INI")), original);
        QCOMPARE(ini.LeTexto(QStringLiteral("S"), QStringLiteral("[x")), QStringLiteral("0"));
        // The refusal was reported: the object's next writes are judged on their own.
        ini.GravaTexto(QStringLiteral("T"), QStringLiteral("depois"), QStringLiteral("2"));
        QVERIFY2(ini.Grava(), qPrintable(ini.Erro()));
        const ArquivoIni relido(inst.Caminho(QStringLiteral("X.INI")));
        QCOMPARE(relido.LeTexto(QStringLiteral("T"), QStringLiteral("ok")), QStringLiteral("1"));
        QCOMPARE(relido.LeTexto(QStringLiteral("T"), QStringLiteral("depois")),
                 QStringLiteral("2"));
    }

    // After any sequence of changes the object answers exactly as the file it would write.
    // Small files keep their sections short; large ones make sections that grow past and
    // shrink below the length at which the engine starts indexing a section's keys.
    void operacoesAleatorias_data() {
        QTest::addColumn<int>("linhas");
        QTest::addColumn<int>("cabecalhos"); // in 100 lines, about how many headers
        QTest::addColumn<int>("operacoes");
        QTest::addColumn<int>("rodadas");
        QTest::newRow("arquivos pequenos") << 30 << 31 << 40 << 20;
        QTest::newRow("seções longas") << 120 << 4 << 150 << 20;
    }
    void operacoesAleatorias() {
        QFETCH(int, linhas);
        QFETCH(int, cabecalhos);
        QFETCH(int, operacoes);
        QFETCH(int, rodadas);
        const QStringList secoes{"A", "a", "B", u"CARTÓRIO"_qs, "Novo", ""};
        const QStringList chaves{"k", "K", "j", u"Aplicação"_qs, "x y"};
        QRandomGenerator gerador(4242);
        Instalacao inst;
        const QString caminho = inst.Caminho(QStringLiteral("X.INI"));
        for (int rodada = 0; rodada < rodadas; ++rodada) {
            QByteArray inicial;
            const char* pedacos[] = {"[A]",      "[a]",   "[ B ]", "[CART\xD3RIO]",
                                     "k=1",      "K = 2", "j='3'", "Aplica\xE7\xE3o=C:\\",
                                     ";k=c",     "",      "  ",    "[x",
                                     "x y=\"4\""};
            const int nCabecalhos = 4; // the first pieces
            for (int i = 0, n = int(gerador.bounded(linhas)); i < n; ++i) {
                const int p =
                    int(gerador.bounded(100)) < cabecalhos
                        ? int(gerador.bounded(nCabecalhos))
                        : nCabecalhos + int(gerador.bounded(int(std::size(pedacos)) - nCabecalhos));
                inicial += QByteArray(pedacos[p]) + (gerador.bounded(3) == 0 ? "\n" : "\r\n");
            }
            if (gerador.bounded(2))
                inicial.chop(1);
            inst.Grava(QStringLiteral("X.INI"), inicial);
            ArquivoIni ini(caminho);
            for (int op = 0; op < operacoes; ++op) {
                const QString s = secoes[gerador.bounded(int(secoes.size()))];
                const QString k = chaves[gerador.bounded(int(chaves.size()))];
                switch (gerador.bounded(6)) {
                case 0:
                    ini.ApagaChave(s, k);
                    break;
                case 1:
                    ini.ApagaSecao(s);
                    break;
                default:
                    ini.GravaTexto(s, k, QString::number(gerador.bounded(5)));
                }
                inst.Grava(QStringLiteral("Y.INI"), ini.Conteudo());
                const ArquivoIni relido(inst.Caminho(QStringLiteral("Y.INI")));
                QCOMPARE(relido.Conteudo(), ini.Conteudo());
                QCOMPARE(relido.Secoes(), ini.Secoes());
                for (const QString& s2 : secoes) {
                    QCOMPARE(relido.ExisteSecao(s2), ini.ExisteSecao(s2));
                    QCOMPARE(relido.Chaves(s2), ini.Chaves(s2));
                    for (const QString& k2 : chaves)
                        QCOMPARE(relido.LeTexto(s2, k2, kPadrao), ini.LeTexto(s2, k2, kPadrao));
                }
            }
            QVERIFY(ini.Grava());
        }
    }

#ifndef Q_OS_WIN
    void valorIgualNaoTocaOArquivo() {
        Instalacao inst;
        inst.Grava(QStringLiteral("X.INI"), "[S]\r\nk='v'\r\n");
        const QString caminho = inst.Caminho(QStringLiteral("X.INI"));
        // An old modification time, so that any write would show.
        const utimbuf antigo{1000000000, 1000000000};
        QCOMPARE(::utime(QFile::encodeName(caminho).constData(), &antigo), 0);
        const struct stat antes = Estado(caminho);
        {
            ArquivoIni ini(caminho);
            ini.GravaTexto(QStringLiteral("s"), QStringLiteral("K"), QStringLiteral("v"));
            QVERIFY(!ini.Alterado());
            QVERIFY(ini.Grava());
        }
        const struct stat depois = Estado(caminho);
        QCOMPARE(depois.st_ino, antes.st_ino);
        QCOMPARE(depois.st_mtime, antes.st_mtime);
        // A real change replaces the file: a new inode.
        ArquivoIni ini(caminho);
        ini.GravaTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("w"));
        QVERIFY(ini.Grava());
        QVERIFY(Estado(caminho).st_ino != antes.st_ino);
    }
#endif

    void semLimiteDeTamanho() {
        Instalacao inst;
        const QString caminho = inst.Caminho(QStringLiteral("X.INI"));
        QString grande;
        for (int i = 0; grande.size() < 100 * 1024; ++i)
            grande += QString::number(i % 10);
        {
            ArquivoIni ini(caminho);
            ini.GravaTexto(QStringLiteral("S"), QStringLiteral("k"), grande);
            for (int i = 0; i < 5000; ++i)
                ini.GravaTexto(QStringLiteral("Secao%1").arg(i), QStringLiteral("k"),
                               QString::number(i));
            QVERIFY(ini.Grava());
        }
        const ArquivoIni ini(caminho);
        QCOMPARE(ini.LeTexto(QStringLiteral("S"), QStringLiteral("k")), grande);
        const QStringList secoes = ini.Secoes();
        QCOMPARE(secoes.size(), 5001);
        QCOMPARE(secoes.last(), QStringLiteral("Secao4999"));
        QCOMPARE(ini.LeTexto(QStringLiteral("SECAO4999"), QStringLiteral("k")),
                 QStringLiteral("4999"));
    }

    // A reader in another process sees one whole version or the other, never a mix.
    void substituicaoAtomica() {
        Instalacao inst;
        const QString caminho = inst.Caminho(QStringLiteral("X.INI"));
        const QByteArray versoes[2] = {VersaoDoArquivo(0), VersaoDoArquivo(1)};
        inst.Grava(QStringLiteral("X.INI"), versoes[0]);
        QProcess escritor;
        escritor.setProcessChannelMode(QProcess::ForwardedChannels);
        escritor.start(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("--escritor"), caminho, QStringLiteral("1000")});
        QVERIFY(escritor.waitForStarted());
        int leituras = 0, vistas[2] = {0, 0};
        [[maybe_unused]] int misturadas = 0;
        while (escritor.state() != QProcess::NotRunning) {
            QFile f(caminho);
#ifdef Q_OS_WIN
            // Windows refuses to open a name for the instant its rename is under way (readers
            // there retry); what is read must still be whole.
            if (!f.open(QIODevice::ReadOnly)) {
                escritor.waitForFinished(0);
                continue;
            }
#else
            QVERIFY2(f.open(QIODevice::ReadOnly), "o arquivo sumiu durante a troca");
#endif
            const QByteArray lido = f.readAll();
            f.close();
            ++leituras;
            if (lido == versoes[0])
                ++vistas[0];
            else if (lido == versoes[1])
                ++vistas[1];
            else
#ifdef Q_OS_WIN
                // A reader that keeps the file open without delete sharing, as this loop does
                // almost all the time, blocks every rename: the writer then rewrites in place
                // and such a reader may see the change half made. Counted, not failed.
                ++misturadas;
#else
                QFAIL(qPrintable(QStringLiteral("leitura %1 mistura as versões: %2 bytes")
                                     .arg(leituras)
                                     .arg(lido.size())));
#endif
            escritor.waitForFinished(0);
            QCoreApplication::processEvents();
        }
        QCOMPARE(escritor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(escritor.exitCode(), 0);
        qInfo("%d leituras: %d da versão A, %d da versão B, %d misturadas", leituras, vistas[0],
              vistas[1], misturadas);
        QCOMPARE(inst.Le(QStringLiteral("X.INI")), versoes[0]); // 1000 is even: version A
        QCOMPARE(Entradas(inst.Pasta()), QStringList{"X.INI"});
    }

    // A writer killed at any moment of its commits leaves no temporary file behind; a copy
    // that one left anyway (named after a dead process of this machine) goes at the next
    // commit, and nothing else does.
    void escritorMortoNaoDeixaTemporario() {
        Instalacao inst;
        const QString caminho = inst.Caminho(QStringLiteral("X.INI"));
        inst.Grava(QStringLiteral("X.INI"), VersaoDoArquivo(0));
        for (int rodada = 0; rodada < 30; ++rodada) {
            QProcess escritor;
            escritor.start(QCoreApplication::applicationFilePath(),
                           {QStringLiteral("--escritor"), caminho, QStringLiteral("1000000")});
            QVERIFY(escritor.waitForStarted());
            QTest::qWait(20 + QRandomGenerator::global()->bounded(40));
            escritor.kill();
            QVERIFY(escritor.waitForFinished());
        }
        const QString vivo = Plataforma::NomeTemporario(caminho); // this process's own
        const QString morto = Plataforma::NomeTemporario(caminho).replace(
            QRegularExpression(QStringLiteral("gerenciador-\\d+-")),
            QStringLiteral("gerenciador-%1-").arg(PidMorto()));
        const QStringList alheios{QStringLiteral(".X.INI.gerenciador-1-outra-maquina-0badcafe"),
                                  QStringLiteral(".X.INI.gerenciador-1-x-naoehexa"),
                                  QStringLiteral(".Y.INI.gerenciador-999999-x-0badcafe"),
                                  QStringLiteral("X.INI.bak")};
        QStringList ficam{"X.INI"};
        for (const QString& nome : alheios) {
            inst.Grava(nome, "alheio");
            ficam.append(nome);
        }
        QVERIFY(QFile(morto).open(QIODevice::WriteOnly));
        QVERIFY(QFile(vivo).open(QIODevice::WriteOnly));
        ficam.append(QFileInfo(vivo).fileName());
        ArquivoIni ini(caminho);
        QVERIFY(ini.LeituraOk());
        ini.GravaTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"));
        QVERIFY2(ini.Grava(), qPrintable(ini.Erro()));
        ficam.sort();
        QStringList vistas = Entradas(inst.Pasta());
        vistas.sort();
        QCOMPARE(vistas, ficam);
    }

#ifndef Q_OS_WIN
    // POSIX file modes, links, pipes.
    void permissoesMantidas() {
        Instalacao inst;
        inst.Grava(QStringLiteral("X.INI"), "[S]\r\nk=1\r\n");
        const QString caminho = inst.Caminho(QStringLiteral("X.INI"));
        QCOMPARE(::chmod(QFile::encodeName(caminho).constData(), 0640), 0);
        ArquivoIni ini(caminho);
        ini.GravaTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("2"));
        QVERIFY2(ini.Grava(), qPrintable(ini.Erro()));
        QCOMPARE(Estado(caminho).st_mode & 07777, mode_t(0640));
        QCOMPARE(inst.Le(QStringLiteral("X.INI")), QByteArray("[S]\r\nk=2\r\n"));
    }

    void linkSimbolicoSeguido() {
        Instalacao inst;
        QDir(inst.Pasta()).mkdir(QStringLiteral("dados"));
        inst.Grava(QStringLiteral("dados/REAL.INI"), "[S]\r\nk=1\r\n");
        const QString link = inst.Caminho(QStringLiteral("X.INI"));
        // A relative link, as a user would make it.
        QCOMPARE(::symlink("dados/REAL.INI", QFile::encodeName(link).constData()), 0);
        ArquivoIni ini(link);
        QCOMPARE(ini.LeTexto(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("1"));
        ini.GravaTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("2"));
        QVERIFY2(ini.Grava(), qPrintable(ini.Erro()));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(inst.Le(QStringLiteral("dados/REAL.INI")), QByteArray("[S]\r\nk=2\r\n"));
        QCOMPARE(Entradas(inst.Pasta()), (QStringList{"X.INI", "dados"}));
        QCOMPARE(Entradas(inst.Caminho(QStringLiteral("dados"))), QStringList{"REAL.INI"});
    }

    // A loop of links names no file: nothing is written and the links stay.
    void lacoDeLinks() {
        Instalacao inst;
        const QString a = inst.Caminho(QStringLiteral("X.INI"));
        QCOMPARE(::symlink("Y.INI", QFile::encodeName(a).constData()), 0);
        QCOMPARE(::symlink("X.INI", QFile::encodeName(inst.Caminho("Y.INI")).constData()), 0);
        ArquivoIni ini(a);
        ini.GravaTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"));
        QVERIFY(!ini.Grava());
        QVERIFY(!ini.Erro().isEmpty());
        QVERIFY(QFileInfo(a).isSymLink());
        QCOMPARE(QFileInfo(a).symLinkTarget(), inst.Caminho(QStringLiteral("Y.INI")));
        QCOMPARE(Entradas(inst.Pasta()), (QStringList{"X.INI", "Y.INI"}));
    }

    // Read-only means no write bit, for root too, as a read-only file on Windows.
    void somenteLeitura_data() {
        QTest::addColumn<bool>("pastaTravada");
        QTest::addColumn<bool>("existe");
        QTest::newRow("arquivo 444") << false << true;
        QTest::newRow("pasta 555") << true << true;
        QTest::newRow("pasta 555, arquivo novo") << true << false;
    }
    void somenteLeitura() {
        QFETCH(bool, pastaTravada);
        QFETCH(bool, existe);
        Instalacao inst;
        const QByteArray original = "[S]\r\nk=1\r\n";
        const QString caminho = inst.Caminho(QStringLiteral("X.INI"));
        if (existe)
            inst.Grava(QStringLiteral("X.INI"), original);
        const QByteArray alvo = QFile::encodeName(pastaTravada ? inst.Pasta() : caminho);
        QCOMPARE(::chmod(alvo.constData(), pastaTravada ? 0555 : 0444), 0);
        ArquivoIni ini(caminho);
        QVERIFY(ini.LeituraOk());
        ini.GravaTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("2"));
        const bool gravou = ini.Grava();
        const QString erro = ini.Erro();
        const QStringList entradas = Entradas(inst.Pasta());
        ::chmod(alvo.constData(), pastaTravada ? 0755 : 0644);
        QVERIFY(!gravou);
        QVERIFY(!erro.isEmpty());
        QVERIFY(ini.Alterado()); // the change is still pending, nothing was lost
        QCOMPARE(inst.Le(QStringLiteral("X.INI")), existe ? original : QByteArray());
        QCOMPARE(entradas, existe ? QStringList{"X.INI"} : QStringList{});
    }

    void ilegivel() {
        Instalacao inst;
        const QString caminho = inst.Caminho(QStringLiteral("X.INI"));
        bool pasta = false;
        if (Root()) {
            // chmod 000 does not stop root: a folder where the file should be cannot be read.
            QVERIFY(QDir(inst.Pasta()).mkdir(QStringLiteral("X.INI")));
            pasta = true;
        } else {
            inst.Grava(QStringLiteral("X.INI"), "[S]\r\nk=1\r\n");
            QCOMPARE(::chmod(QFile::encodeName(caminho).constData(), 0), 0);
        }
        ArquivoIni ini(caminho);
        QVERIFY(!ini.LeituraOk());
        QVERIFY(!ini.Erro().isEmpty());
        QCOMPARE(ini.LeTexto(QStringLiteral("S"), QStringLiteral("k"), kPadrao), kPadrao);
        ini.GravaTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("2"));
        QVERIFY(!ini.Grava());
        if (pasta) {
            QVERIFY(QFileInfo(caminho).isDir());
        } else {
            ::chmod(QFile::encodeName(caminho).constData(), 0644);
            QCOMPARE(inst.Le(QStringLiteral("X.INI")), QByteArray("[S]\r\nk=1\r\n"));
        }
        QCOMPARE(Entradas(inst.Pasta()), QStringList{"X.INI"});
    }

    // The same rules for an ordinary user, whom the permissions stop: run as nobody.
    void semRoot() {
        if (!Root())
            QSKIP("já sem root: ilegivel e somenteLeitura verificam isto diretamente");
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            QSKIP("setpriv não encontrado (pacote util-linux)");
        Instalacao inst;
        const QByteArray original = "[S]\r\nk=1\r\n";
        inst.Grava(QStringLiteral("ILEGIVEL.INI"), original);
        inst.Grava(QStringLiteral("LEITURA.INI"), original);
        QDir acima(inst.Pasta());
        acima.cdUp();
        QCOMPARE(::chmod(QFile::encodeName(acima.path()).constData(), 0755), 0);
        QCOMPARE(::chmod(QFile::encodeName(inst.Pasta()).constData(), 0777), 0);
        const QString ilegivel = inst.Caminho(QStringLiteral("ILEGIVEL.INI"));
        const QString leitura = inst.Caminho(QStringLiteral("LEITURA.INI"));
        QCOMPARE(::chmod(QFile::encodeName(ilegivel).constData(), 0), 0);
        QCOMPARE(::chmod(QFile::encodeName(leitura).constData(), 0444), 0);
        QProcess filho;
        filho.setProcessChannelMode(QProcess::ForwardedChannels);
        filho.start(setpriv,
                    {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                     QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
                     QStringLiteral("--sem-root"), ilegivel, leitura});
        QVERIFY(filho.waitForFinished(120000));
        if (filho.exitCode() == 126 || filho.exitCode() == 127)
            QSKIP("o usuário nobody não pode executar este programa de teste aqui");
        QCOMPARE(filho.exitStatus(), QProcess::NormalExit);
        QCOMPARE(filho.exitCode(), 0);
        ::chmod(QFile::encodeName(ilegivel).constData(), 0644);
        QCOMPARE(inst.Le(QStringLiteral("ILEGIVEL.INI")), original);
        QCOMPARE(inst.Le(QStringLiteral("LEITURA.INI")), original);
        QCOMPARE(Entradas(inst.Pasta()), (QStringList{"ILEGIVEL.INI", "LEITURA.INI"}));
    }

    // A pipe or a device where the file should be is not read (it would block or never end)
    // and not replaced.
    void naoEArquivo_data() {
        QTest::addColumn<QString>("caminho");
        QTest::newRow("pipe") << QString();
        QTest::newRow("/dev/zero") << "/dev/zero";
    }
    void naoEArquivo() {
        QFETCH(QString, caminho);
        Instalacao inst;
        if (caminho.isEmpty()) {
            caminho = inst.Caminho(QStringLiteral("X.INI"));
            QCOMPARE(::mkfifo(QFile::encodeName(caminho).constData(), 0644), 0);
        }
        ArquivoIni ini(caminho);
        QVERIFY(!ini.LeituraOk());
        ini.GravaTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"));
        QVERIFY(!ini.Grava());
        QVERIFY(!QFileInfo(caminho).isFile());
    }
#endif

    void pastaAusente() {
        Instalacao inst;
        ArquivoIni ini(inst.Caminho(QStringLiteral("NAO/EXISTE/X.INI")));
        QVERIFY(ini.LeituraOk());
        ini.GravaTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("2"));
        QVERIFY(!ini.Grava());
        QVERIFY(!ini.Erro().isEmpty());
    }

    // Garbage never crashes; a write keeps every byte it does not touch.
    void lixo_data() {
        QTest::addColumn<QByteArray>("conteudo");
        QRandomGenerator gerador(20261208);
        for (int n = 0; n < 8; ++n) {
            QByteArray b(1 + int(gerador.bounded(64 * 1024)), Qt::Uninitialized);
            for (char& c : b)
                c = char(gerador.bounded(256));
            QTest::addRow("aleatório %d", n) << b;
        }
        QByteArray viciado; // random bytes rich in the characters the parser looks at
        const char alfabeto[] = "[]=;'\"\r\n \t\x1A\xEF\xBB\xBFk";
        for (int i = 0; i < 200000; ++i)
            viciado += alfabeto[gerador.bounded(int(sizeof alfabeto - 1))];
        QTest::newRow("aleatório de []=;") << viciado;
        QTest::newRow("NULs") << QByteArray(4096, '\0');
        QTest::newRow("NULs em linhas") << QByteArray("[S\0]\r\nk\0=\0v\r\n\0[T]\0", 18);
        QByteArray dezMega;
        for (int i = 0; dezMega.size() < 10 * 1024 * 1024; ++i)
            dezMega += "[Secao" + QByteArray::number(i % 5000) + "]\r\nServidor=10.0.0." +
                       QByteArray::number(i % 256) + "\r\n; comentário\r\n";
        QTest::newRow("10 MB") << dezMega;
        QTest::newRow("linha de 1 MB") << "[S]\r\nk=" + QByteArray(1024 * 1024, 'x');
        QTest::newRow("cabeçalho de 1 MB") << "[" + QByteArray(1024 * 1024, 'y');
    }
    void lixo() {
        QFETCH(QByteArray, conteudo);
        Instalacao inst;
        inst.Grava(QStringLiteral("X.INI"), conteudo);
        const QString caminho = inst.Caminho(QStringLiteral("X.INI"));
        {
            ArquivoIni ini(caminho);
            QVERIFY(ini.LeituraOk());
            QCOMPARE(ini.Conteudo(), conteudo);
            for (const QString& s : ini.Secoes().mid(0, 50))
                for (const QString& k : ini.Chaves(s))
                    ini.LeTexto(s, k);
            if (QTest::currentDataTag() == QLatin1String("linha de 1 MB"))
                QCOMPARE(ini.LeTexto(QStringLiteral("S"), QStringLiteral("K")).size(), 1024 * 1024);
            ini.GravaTexto(QStringLiteral("NOVA SECAO DO TESTE"), QStringLiteral("k"),
                           QStringLiteral("v"));
            QVERIFY(ini.Grava());
        }
        const bool temFim = conteudo.endsWith('\n') || conteudo.endsWith('\r');
        QCOMPARE(inst.Le(QStringLiteral("X.INI")),
                 conteudo + (temFim ? "" : "\r\n") + "[NOVA SECAO DO TESTE]\r\nk=v\r\n");
        QCOMPARE(
            ArquivoIni(caminho).LeTexto(QStringLiteral("nova secao do teste"), QStringLiteral("K")),
            QStringLiteral("v"));
    }
};

int main(int argc, char** argv) {
    if (argc == 4 && qstrcmp(argv[1], "--escritor") == 0)
        return Escritor(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
#ifndef Q_OS_WIN
    if (argc == 4 && qstrcmp(argv[1], "--sem-root") == 0)
        return SemRoot(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
#endif
    QCoreApplication app(argc, argv);
    TstArquivoIni teste;
    return QTest::qExec(&teste, argc, argv);
}

#include "tst_arquivoini.moc"
