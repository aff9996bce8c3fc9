// One running copy per edition, with real processes: copies of the program in temporary
// installation folders, their message boxes logged to a file instead of shown.
#include "support/Instalacao.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <memory>

namespace {

const QString kRecusa =
    u"Gerenciador VELTO\tinformacao\tGerenciador VELTO já está sendo executado.\n"_qs;

// A copy of the program running from an installation folder.
class Copia {
public:
    Copia(const Instalacao& inst, const QString& programa, const QString& nomeLog)
        : log_(inst.Caminho(nomeLog)) {
        QProcessEnvironment amb = QProcessEnvironment::systemEnvironment();
        amb.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        amb.insert(QStringLiteral("GERENCIADOR_REGISTRO_MENSAGENS"), log_);
        processo_.setProcessEnvironment(amb);
        processo_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        processo_.start(programa, {});
    }
    ~Copia() {
        if (processo_.state() == QProcess::NotRunning)
            return;
        processo_.terminate();
        if (!processo_.waitForFinished(30000)) {
            processo_.kill();
            processo_.waitForFinished(30000);
        }
    }
    Copia(const Copia&) = delete;
    Copia& operator=(const Copia&) = delete;

    QProcess& Processo() { return processo_; }
    bool Rodando() const { return processo_.state() == QProcess::Running; }
    QString Mensagens() const {
        QFile f(log_);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private:
    QString log_;
    QProcess processo_;
};

// The folder where the copies keep their lock, as the program picks it.
QString PastaDasTravas() {
#ifdef Q_OS_WIN
    return QDir::tempPath();
#else
    const QString pasta = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return pasta.isEmpty() ? QDir::tempPath() : pasta;
#endif
}

// True when a lock file there names this process as its owner (a lock file's first line is
// its owner's process id): the copy has passed its single-instance test and runs.
bool TemTrava(qint64 pid) {
    const QDir pasta(PastaDasTravas());
    for (const QString& nome :
         pasta.entryList({QStringLiteral("gerenciador-*.lock")}, QDir::Files | QDir::Hidden)) {
        QFile f(pasta.filePath(nome));
        if (f.open(QIODevice::ReadOnly) && f.readLine().trimmed().toLongLong() == pid)
            return true;
    }
    return false;
}

bool EsperaTrava(Copia& copia) {
    if (!copia.Processo().waitForStarted(30000))
        return false;
    const qint64 pid = copia.Processo().processId();
    for (int i = 0; i < 600; ++i) {
        if (TemTrava(pid))
            return true;
        if (!copia.Rodando())
            return false;
        QTest::qWait(50);
    }
    return false;
}

} // namespace

class TstInstancia : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY2(!CaminhoPrograma().isEmpty(), "GERENCIADOR_BIN não definido"); }

    // The second copy, from the same folder or from another folder of the same edition, shows
    // the box and ends by itself, without a window; the first goes on undisturbed.
    void duasCopias_data() {
        QTest::addColumn<QString>("pasta1");
        QTest::addColumn<QString>("pasta2");
        QTest::addColumn<bool>("mesmaPasta");
        QTest::addColumn<bool>("recusada");
        QTest::newRow("mesma pasta") << "EMPRESA"
                                     << "EMPRESA" << true << true;
        QTest::newRow("duas pastas EMPRESA") << "EMPRESA"
                                             << "EMPRESA" << false << true;
        QTest::newRow("empresa e EMPRESA") << "empresa"
                                           << "EMPRESA" << false << true;
        QTest::newRow("CARTORIO e Cartório") << "CARTORIO" << u"Cartório"_qs << false << true;
        QTest::newRow("duas pastas sem edição") << "SUITE"
                                                << "OUTRA" << false << true;
        QTest::newRow("EMPRESA e CARTORIO lado a lado") << "EMPRESA"
                                                        << "CARTORIO" << false << false;
        QTest::newRow("EMPRESA e sem edição") << "EMPRESA"
                                              << "SUITE" << false << false;
    }
    void duasCopias() {
        QFETCH(QString, pasta1);
        QFETCH(QString, pasta2);
        QFETCH(bool, mesmaPasta);
        QFETCH(bool, recusada);
        const Instalacao inst1(pasta1);
        const Instalacao inst2(pasta2);
        const QString programa1 = inst1.CopiaPrograma();
        const QString programa2 = mesmaPasta ? programa1 : inst2.CopiaPrograma();
        const Instalacao& pastaSegunda = mesmaPasta ? inst1 : inst2;

        Copia primeira(inst1, programa1, QStringLiteral("mensagens1.log"));
        QVERIFY(EsperaTrava(primeira));
        Copia segunda(pastaSegunda, programa2, QStringLiteral("mensagens2.log"));
        if (recusada) {
            QVERIFY(segunda.Processo().waitForFinished(60000));
            QCOMPARE(segunda.Processo().exitStatus(), QProcess::NormalExit);
            QCOMPARE(segunda.Processo().exitCode(), 0);
            QCOMPARE(segunda.Mensagens(), kRecusa);
        } else {
            QVERIFY(EsperaTrava(segunda));
            QCOMPARE(segunda.Mensagens(), QString());
        }
        QVERIFY(primeira.Rodando());
        QCOMPARE(primeira.Mensagens(), QString());
    }

    // A copy that was killed leaves its lock file behind, and blocks nothing.
    void copiaMorta() {
        const Instalacao inst(QStringLiteral("EMPRESA"));
        const QString programa = inst.CopiaPrograma();
        qint64 pidMorto = 0;
        {
            Copia primeira(inst, programa, QStringLiteral("mensagens1.log"));
            QVERIFY(EsperaTrava(primeira));
            pidMorto = primeira.Processo().processId();
            primeira.Processo().kill();
            QVERIFY(primeira.Processo().waitForFinished(30000));
        }
        QVERIFY(TemTrava(pidMorto));
        Copia segunda(inst, programa, QStringLiteral("mensagens2.log"));
        QVERIFY(EsperaTrava(segunda));
        QCOMPARE(segunda.Mensagens(), QString());
        // And the copy that now runs refuses the next one.
        Copia terceira(inst, programa, QStringLiteral("mensagens3.log"));
        QVERIFY(terceira.Processo().waitForFinished(60000));
        QCOMPARE(terceira.Mensagens(), kRecusa);
    }
};

QTEST_GUILESS_MAIN(TstInstancia)
#include "tst_instancia.moc"
