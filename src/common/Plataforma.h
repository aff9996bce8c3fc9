#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

// What differs between Windows and Linux, behind one interface. The *_win.cpp and *_posix.cpp
// files implement it; CMake builds the ones of the target platform.
namespace Plataforma {

// '\\' on Windows, '/' elsewhere.
QChar Delimitador();

// Full path of the running executable, in the platform's own spelling (backslashes on
// Windows). Does not need the application object.
QString CaminhoExecutavel();

// The folder part of a path: everything before the last delimiter, except that a file in a
// root folder gives the root itself, delimiter included (C:\ or /). A path without a
// delimiter gives an empty text.
QString PastaDoCaminho(const QString& caminho);

// The program's folder as the program uses it, ending in the delimiter: on Windows the
// folder of the executable upper-cased (ASCII), on Linux as the file system spells it
// (upper-casing would name another folder on a case-sensitive file system). A root folder
// gives a doubled delimiter on Windows (C:\\) and a single one elsewhere (/).
QString PastaPrograma(const QString& caminhoExecutavel = CaminhoExecutavel());

// The last component of a path: the characters after the last delimiter; a path without one
// gives the whole path, a path ending in one gives an empty text.
QString UltimoComponente(const QString& caminho);

// Starts a program without a shell and without waiting for it: on Windows CreateProcessW with
// the full path quoted, shown normally, inheriting our current folder; elsewhere
// QProcess::startDetached. False when the start failed.
bool IniciaPrograma(const QString& caminhoCompleto);

// How a window that the desktop opens is shown (where the platform lets the caller choose).
enum class Exibicao { Normal, Maximizada };

// Opens a program, document or web address the way the desktop does (ShellExecuteW "open" on
// Windows, with the desktop as parent window and the show mode given; QDesktopServices
// elsewhere, where the browser decides its own window). False when the platform refused.
bool AbreNoSistema(const QString& alvo, Exibicao exibicao = Exibicao::Normal);

// Starts a program file the way the desktop's shell does: on Windows ShellExecuteW "open"
// (so that a program that asks for elevation gets its prompt), shown normally, no parameters,
// no working folder; elsewhere as IniciaPrograma. False when the start failed.
bool AbrePrograma(const QString& caminhoCompleto);

// Where programs are installed, ending in the delimiter, or an empty text. On Windows the
// value "ProgramFilesDir" of HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion
// as a 32-bit program reads it (on a 64-bit Windows "C:\Program Files (x86)"), the key opened
// with full access (KEY_ALL_ACCESS): empty when the key cannot be opened so;
// when the value cannot be read as text, or is empty, the current folder's drive followed by
// "\Arquivos de Programas". Elsewhere /opt/.
QString CapturaPastaProgramas();
#ifdef Q_OS_WIN
// The same rule on another key (tests give one of their own under the current user).
enum class RaizRegistro { Maquina, Usuario };
QString CapturaPastaProgramas(RaizRegistro raiz, const QString& chave);
#endif

// The four 16-bit numbers of a file's fixed version block: on Windows the VERSIONINFO
// resource, on Linux the version section that every executable of ours carries.
// Nothing when the file has none or it cannot be read.
using Versao = std::array<std::uint16_t, 4>;
std::optional<Versao> LeVersaoArquivo(const QString& caminho);

// Replaces a file's content atomically: a temporary file in the same folder, flushed to the
// disk, renamed over the original (keeping its permissions; a symbolic link is followed to
// its target). A read-only file or a folder that cannot be written fails, with the reason in
// *erro.
bool GravaArquivoAtomico(const QString& caminho, const QByteArray& conteudo, QString* erro);

// The name of a temporary copy of `alvo` made while it is replaced: hidden, beside it, named
// after it, this process and this machine (the suite's folder is often shared by several
// workstations), so that a copy left by a process that died can be told from a live one's.
QString NomeTemporario(const QString& alvo);
// Removes the temporary copies of `alvo` left by processes of this machine that no longer
// run. Nothing else is ever touched: another name, another machine's or a live process's copy.
void RemoveTemporariosAbandonados(const QString& alvo);
// Whether a process of this machine with that id runs.
bool ProcessoVivo(qint64 pid);

// One running copy per key, held with something the operating system lets go of when the
// process ends, however it ends (killed, crashed, the power cut): on Windows a named mutex in
// the session's "Local\" namespace, elsewhere a flock() on a file in the user's runtime
// folder (the temporary folder when there is none). Nothing that names a process id is
// trusted, so a file left behind, whichever process id it names, never refuses a start.
class InstanciaUnica {
public:
    InstanciaUnica(const QString& classeJanela, const QString& titulo);
    ~InstanciaUnica();
    InstanciaUnica(const InstanciaUnica&) = delete;
    InstanciaUnica& operator=(const InstanciaUnica&) = delete;

    // True when this object now holds the key, false when another holder has it (another
    // process, or another object of this one). When the platform gives no way to hold it at
    // all (no folder where a lock file can be made and locked) the answer is true: a copy
    // that cannot tell runs rather than being refused for ever.
    bool Adquire();

private:
    struct Dados;
    std::unique_ptr<Dados> d_;
};
// The name a key is held under: "gerenciador-" and the SHA-1 of class and title.
QString NomeTravaInstancia(const QString& classeJanela, const QString& titulo);

} // namespace Plataforma
