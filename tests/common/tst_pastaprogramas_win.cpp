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

// Writes the value under HKEY_CURRENT_USER, or in one view (KEY_WOW64_32KEY or _64KEY) of
// HKEY_LOCAL_MACHINE.
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

    // The machine's key as a 32-bit program sees it: the value of the 32-bit view, not the
    // 64-bit one, so that the database tool kept by the suite's 32-bit launcher is found.
    void maquina_data() {
        QTest::addColumn<QString>("chave"); // under HKEY_LOCAL_MACHINE\Software; "": Windows'
        QTest::addColumn<QString>("pasta"); // "*": ProgramFiles(x86), or ProgramFiles on 32 bits
        QTest::newRow("chave do Windows") << ""
                                          << "*";
        QTest::newRow("duas visões, a de 32 bits") << "GerenciadorTestes"
                                                   << "C:\\Programas32\\";
    }
    void maquina() {
        QFETCH(QString, chave);
        QFETCH(QString, pasta);
        QString lida;
        if (chave.isEmpty()) {
            lida = Plataforma::CapturaPastaProgramas();
        } else {
            const QString nome = "Software\\" + chave;
            if (!Grava(nome, Valor::Texto, "C:\\Programas32", KEY_WOW64_32KEY) ||
                !Grava(nome, Valor::Texto, "C:\\Programas64", KEY_WOW64_64KEY))
                QSKIP("HKEY_LOCAL_MACHINE cannot be written here");
            lida = Plataforma::CapturaPastaProgramas(Plataforma::RaizRegistro::Maquina, nome);
            for (REGSAM visao : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
                RegDeleteKeyExW(HKEY_LOCAL_MACHINE, nome.toStdWString().c_str(), visao, 0);
        }
        if (lida.isEmpty())
            QSKIP("the key cannot be opened with full access here");
        if (pasta == QLatin1String("*")) {
            const QString x86 = qEnvironmentVariable("ProgramFiles(x86)");
            pasta = (x86.isEmpty() ? qEnvironmentVariable("ProgramFiles") : x86) + u'\\';
        }
        QCOMPARE(lida, pasta);
    }

    void cleanupTestCase() { RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\GerenciadorTestes"); }
};

QTEST_MAIN(TstPastaProgramasWin)
#include "tst_pastaprogramas_win.moc"
