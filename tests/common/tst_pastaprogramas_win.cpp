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

bool Grava(const QString& chave, Valor tipo, const QString& texto) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, chave.toStdWString().c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
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

    // The machine's own key, as a 32-bit program reads it (where the suite's earlier 32-bit
    // launcher kept the tool): ProgramFiles(x86) on a 64-bit Windows. Full access where the
    // process may; otherwise the empty answer.
    void maquina() {
        const QString pasta = Plataforma::CapturaPastaProgramas();
        const QString x86 = qEnvironmentVariable("ProgramFiles(x86)");
        if (!pasta.isEmpty())
            QCOMPARE(pasta, (x86.isEmpty() ? qEnvironmentVariable("ProgramFiles") : x86) + u'\\');
    }

    void cleanupTestCase() { RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\GerenciadorTestes"); }
};

QTEST_MAIN(TstPastaProgramasWin)
#include "tst_pastaprogramas_win.moc"
