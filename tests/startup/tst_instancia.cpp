// One running copy per edition, with real processes: copies of the program in temporary
// installation folders, their message boxes logged to a file instead of shown.
#include "common/Plataforma.h"
#include "support/Instalacao.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <memory>

namespace {

const QString kRecusa =
    u"Gerenciador VELTO\tinformacao\tGerenciador VELTO já está sendo executado.\n"_qs;

// A copy of the program running from an installation folder (through `lancador` when one is
// given: the program's path goes after its arguments).
class Copia {
public:
    Copia(const Instalacao& inst, const QString& programa, const QString& nome,
          const QStringList& lancador = {})
        : log_(inst.Caminho(nome + QStringLiteral(".log"))),
          marca_(inst.Caminho(nome + QStringLiteral(".janela"))) {
        QProcessEnvironment amb = QProcessEnvironment::systemEnvironment();
        amb.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        amb.insert(QStringLiteral("GERENCIADOR_REGISTRO_MENSAGENS"), log_);
        amb.insert(QStringLiteral("GERENCIADOR_MARCA_JANELA"), marca_);
        processo_.setProcessEnvironment(amb);
        processo_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (lancador.isEmpty())
            processo_.start(programa, {});
        else
            processo_.start(lancador.first(), lancador.mid(1) + QStringList{programa});
    }
    // Killed: the lock goes with the process however it ends, and on Windows a polite end
    // (WM_CLOSE) reaches no window of the offscreen platform.
    ~Copia() {
        if (processo_.state() == QProcess::NotRunning)
            return;
        processo_.kill();
        processo_.waitForFinished(30000);
    }
    Copia(const Copia&) = delete;
    Copia& operator=(const Copia&) = delete;

    QProcess& Processo() { return processo_; }
    bool Rodando() const { return processo_.state() == QProcess::Running; }
    QString Mensagens() const {
        QFile f(log_);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    // The process id the copy saw for itself once its main window showed; 0 until then.
    qint64 PidDaJanela() const {
        QFile f(marca_);
        return f.open(QIODevice::ReadOnly) ? f.readLine().trimmed().toLongLong() : 0;
    }

    // Waits until the copy has passed its single-instance test and shows its window.
    bool EsperaJanela() {
        if (!processo_.waitForStarted(30000))
            return false;
        for (int i = 0; i < 600; ++i) {
            if (PidDaJanela() > 0)
                return true;
            if (!Rodando())
                return false;
            QTest::qWait(50);
        }
        return false;
    }

private:
    QString log_;
    QString marca_;
    QProcess processo_;
};

#ifndef Q_OS_WIN
// Whether some process runs this program file.
bool Rodando(const QString& programa) {
    const QFileInfo alvo(programa);
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QFileInfo exe(QStringLiteral("/proc/%1/exe").arg(pid));
        if (pid.front().isDigit() && exe.symLinkTarget() == alvo.canonicalFilePath())
            return true;
    }
    return false;
}
#endif

// Whether the key is free: nobody (no process still on its way out) holds it.
bool Livre(const QString& titulo) {
    Plataforma::InstanciaUnica aqui(QStringLiteral("TFrmPrincipal"), titulo);
    return aqui.Adquire();
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

        Copia primeira(inst1, programa1, QStringLiteral("primeira"));
        QVERIFY(primeira.EsperaJanela());
        Copia segunda(pastaSegunda, programa2, QStringLiteral("segunda"));
        if (recusada) {
            QVERIFY(segunda.Processo().waitForFinished(60000));
            QCOMPARE(segunda.Processo().exitStatus(), QProcess::NormalExit);
            QCOMPARE(segunda.Processo().exitCode(), 0);
            QCOMPARE(segunda.Mensagens(), kRecusa);
        } else {
            QVERIFY(segunda.EsperaJanela());
            QCOMPARE(segunda.Mensagens(), QString());
        }
        QVERIFY(primeira.Rodando());
        QCOMPARE(primeira.Mensagens(), QString());
    }

    // A copy that was killed (SIGKILL; TerminateProcess on Windows) blocks nothing.
    void copiaMorta() {
        const Instalacao inst(QStringLiteral("EMPRESA"));
        const QString programa = inst.CopiaPrograma();
        {
            Copia primeira(inst, programa, QStringLiteral("primeira"));
            QVERIFY(primeira.EsperaJanela());
            primeira.Processo().kill();
            QVERIFY(primeira.Processo().waitForFinished(30000));
        }
        Copia segunda(inst, programa, QStringLiteral("segunda"));
        QVERIFY(segunda.EsperaJanela());
        QCOMPARE(segunda.Mensagens(), QString());
        // And the copy that now runs refuses the next one.
        Copia terceira(inst, programa, QStringLiteral("terceira"));
        QVERIFY(terceira.Processo().waitForFinished(60000));
        QCOMPARE(terceira.Mensagens(), kRecusa);
    }

    // A killed copy whose process id comes back to the next copy (as after a reboot, or on
    // Windows, which reuses ids soon): each copy runs as process 1 of a pid namespace of its
    // own. The second one runs.
    void pidReaproveitado() {
#ifdef Q_OS_WIN
        QSKIP("pid namespaces are Linux's (the Windows leg kills and restarts Wine instead)");
#else
        const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
        if (unshare.isEmpty())
            QSKIP("no unshare(1) here");
        const QStringList lancador{unshare,
                                   QStringLiteral("--user"),
                                   QStringLiteral("--map-root-user"),
                                   QStringLiteral("--pid"),
                                   QStringLiteral("--fork"),
                                   QStringLiteral("--mount-proc"),
                                   QStringLiteral("--kill-child")};
        if (QProcess::execute(unshare, lancador.mid(1) + QStringList{QStringLiteral("true")}) != 0)
            QSKIP("no pid namespace could be made here (unshare --user --pid failed)");
        const Instalacao inst(QStringLiteral("EMPRESA"));
        const QString programa = inst.CopiaPrograma();
        for (const QString& nome : {u"primeira"_qs, u"segunda"_qs}) {
            Copia copia(inst, programa, nome, lancador);
            QVERIFY2(copia.EsperaJanela(), qPrintable(nome + u": "_qs + copia.Mensagens()));
            QCOMPARE(copia.PidDaJanela(), 1);
            QCOMPARE(copia.Mensagens(), QString());
            copia.Processo().kill(); // unshare, and with it (--kill-child) the program
            QVERIFY(copia.Processo().waitForFinished(30000));
            // Gone for good (the namespace's process 1 dies a moment after unshare), found
            // without touching its lock.
            QTRY_VERIFY_WITH_TIMEOUT(!Rodando(programa), 30000);
        }
#endif
    }

    // A module started while the copy runs (a program the copy starts) does not inherit the
    // lock: once the copy is gone, the next one runs even while the module goes on.
    void moduloNaoHerdaATrava() {
        const Instalacao inst(QStringLiteral("EMPRESA"));
        const QString modulo = inst.Caminho(QStringLiteral("VELTOM01.EXE"));
        QVERIFY(QFile::copy(CaminhoModuloFalso(), modulo));
        inst.Grava(QStringLiteral("VELTOM01.espera"), {});
        const QString titulo =
            QStringLiteral("VELTO Teste %1").arg(QCoreApplication::applicationPid());
        {
            Plataforma::InstanciaUnica copia(QStringLiteral("TFrmPrincipal"), titulo);
            QVERIFY(copia.Adquire());
            QVERIFY(Plataforma::IniciaPrograma(QDir::toNativeSeparators(modulo)));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(inst.Caminho(QStringLiteral("VELTOM01.marca"))),
                                     30000);
        }
        const bool livre = Livre(titulo);
        QVERIFY(QFile::remove(inst.Caminho(QStringLiteral("VELTOM01.espera"))));
        QVERIFY(livre);
        // The module ends by itself once its file is gone; its folder goes with it.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::remove(modulo) || !QFile::exists(modulo), 30000);
    }
};

QTEST_GUILESS_MAIN(TstInstancia)
#include "tst_instancia.moc"
