// Where the database tool is kept: the Program Files folder read from the registry, with the
// fallbacks of a key that cannot be opened and of a value that is no usable text. Each case
// writes a key of its own under the current user and removes it afterwards.
#include "common/Plataforma.h"

#include <QDir>
#include <QTest>
#include <QUuid>

// clang-format off
#include <windows.h>
// clang-format on

namespace {

enum class Valor { Ausente, Texto, TextoExpansivel, Numero };

const QString kBase = QStringLiteral("Software\\GerenciadorTestes\\");

// Under HKEY_CURRENT_USER, or in one view of HKEY_LOCAL_MACHINE.
bool Grava(const QString& chave, Valor tipo, const QString& texto, REGSAM visao = 0) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(visao ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                        chave.toStdWString().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | visao,
                        nullptr, &h, nullptr) != ERROR_SUCCESS)
        return false;
    LSTATUS r = ERROR_SUCCESS;
    if (tipo == Valor::Texto || tipo == Valor::TextoExpansivel) {
        const std::wstring w = texto.toStdWString();
        r = RegSetValueExW(h, L"ProgramFilesDir", 0, tipo == Valor::Texto ? REG_SZ : REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(w.c_str()),
                           DWORD((w.size() + 1) * sizeof(wchar_t)));
    } else if (tipo == Valor::Numero) {
        const DWORD n = 42;
        r = RegSetValueExW(h, L"ProgramFilesDir", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n),
                           sizeof n);
    }
    RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

// The fallback: the current folder's drive and "\Arquivos de Programas".
QString Recurso() {
    return QDir::toNativeSeparators(QDir::currentPath()).left(2) +
           QStringLiteral("\\Arquivos de Programas");
}

} // namespace

Q_DECLARE_METATYPE(Valor)

class TstPastaProgramasWin : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void registro_data() {
        QTest::addColumn<bool>("chave");
        QTest::addColumn<Valor>("tipo");
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QString>("pasta"); // "*": the fallback

        QTest::newRow("texto sem delimitador") << true << Valor::Texto << "C:\\Program Files"
                                               << "C:\\Program Files\\";
        QTest::newRow("texto com delimitador") << true << Valor::Texto << "D:\\Programas\\"
                                               << "D:\\Programas\\";
        QTest::newRow("texto expansível")
            << true << Valor::TextoExpansivel << "%SystemDrive%\\Ferramentas"
            << qEnvironmentVariable("SystemDrive") + "\\Ferramentas\\";
        QTest::newRow("número") << true << Valor::Numero << ""
                                << "*";
        // A lone delimiter would make the tool's path a network path (\\IBExpert\...).
        QTest::newRow("texto vazio") << true << Valor::Texto << ""
                                     << "*";
        QTest::newRow("valor ausente") << true << Valor::Ausente << ""
                                       << "*";
        QTest::newRow("chave ausente") << false << Valor::Ausente << ""
                                       << "";
    }
    void registro() {
        QFETCH(bool, chave);
        QFETCH(Valor, tipo);
        QFETCH(QString, texto);
        QFETCH(QString, pasta);
        const QString nome = kBase + QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (chave)
            QVERIFY(Grava(nome, tipo, texto));
        const QString lida =
            Plataforma::CapturaPastaProgramas(Plataforma::RaizRegistro::Usuario, nome);
        RegDeleteKeyW(HKEY_CURRENT_USER, nome.toStdWString().c_str());
        QCOMPARE(lida, pasta == QLatin1String("*") ? Recurso() : pasta);
    }

    // HKEY_LOCAL_MACHINE as a 32-bit program reads it (where the suite's earlier 32-bit
    // launcher kept the tool), the 64-bit view where the 32-bit one has no value.
    void maquina_data() {
        QTest::addColumn<QString>("v32"); // the value in each view ("": none)
        QTest::addColumn<QString>("v64");
        QTest::addColumn<QString>("pasta");
        QTest::newRow("as duas visões: a de 32 bits") << "C:\\P32"
                                                      << "C:\\P64"
                                                      << "C:\\P32\\";
        QTest::newRow("só a de 64 bits") << ""
                                         << "C:\\P64"
                                         << "C:\\P64\\";
    }
    void maquina() {
        QFETCH(QString, v32);
        QFETCH(QString, v64);
        QFETCH(QString, pasta);
        const QString nome = "Software\\GerenciadorTestes";
        const auto apaga = [&] {
            for (REGSAM visao : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
                RegDeleteKeyExW(HKEY_LOCAL_MACHINE, nome.toStdWString().c_str(), visao, 0);
        };
        apaga();
        if ((!v32.isEmpty() && !Grava(nome, Valor::Texto, v32, KEY_WOW64_32KEY)) ||
            !Grava(nome, Valor::Texto, v64, KEY_WOW64_64KEY))
            QSKIP("HKEY_LOCAL_MACHINE cannot be written here");
        const QString lida =
            Plataforma::CapturaPastaProgramas(Plataforma::RaizRegistro::Maquina, nome);
        apaga();
        QCOMPARE(lida, pasta);
        const QString windows = Plataforma::CapturaPastaProgramas();
        QVERIFY2(windows.isEmpty() || windows.endsWith(u'\\'), qPrintable(windows));
    }

    void cleanupTestCase() { RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\GerenciadorTestes"); }
};

QTEST_MAIN(TstPastaProgramasWin)
#include "tst_pastaprogramas_win.moc"
