// Windows side of the platform layer, on documented Win32 calls.
#include "common/Plataforma.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <vector>

// <windows.h> comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
// clang-format on

namespace {

std::wstring Largo(const QString& s) {
    return s.toStdWString();
}

QString ErroWindows(const QString& oque, DWORD numero) {
    wchar_t* texto = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, numero, 0, reinterpret_cast<wchar_t*>(&texto), 0, nullptr);
    QString r = oque + QStringLiteral(": ") +
                (texto ? QString::fromWCharArray(texto).trimmed() : QString::number(numero));
    if (texto)
        LocalFree(texto);
    return r;
}

// True unless another handle keeps the file from being renamed over (one opened without
// delete sharing, as many programs do when they read a file). ReplaceFileW would fail then
// anyway.
bool PodeSubstituir(const std::wstring& alvo) {
    HANDLE h =
        CreateFileW(alvo.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() != ERROR_SHARING_VIOLATION;
    CloseHandle(h);
    return true;
}

bool Posiciona(HANDLE h, qint64 posicao) {
    LARGE_INTEGER p;
    p.QuadPart = posicao;
    return SetFilePointerEx(h, p, nullptr, FILE_BEGIN);
}

bool GravaTudo(HANDLE h, const QByteArray& conteudo) {
    DWORD escritos = 0;
    return WriteFile(h, conteudo.constData(), DWORD(conteudo.size()), &escritos, nullptr) &&
           escritos == DWORD(conteudo.size());
}

// Rewrites the file in place: the fallback when another program holds it open without
// delete sharing (but sharing writing), which makes every replace fail. The file is first
// grown to the new size, so that a full disk fails before anything is overwritten; should the
// write fail anyway, the old content is put back.
bool GravaNoLugar(const std::wstring& alvo, const QByteArray& conteudo, QString* erro) {
    const QString nome = QString::fromStdWString(alvo);
    HANDLE h =
        CreateFileW(alvo.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *erro = ErroWindows(QStringLiteral("Não foi possível abrir ") + nome, GetLastError());
        return false;
    }
    LARGE_INTEGER tamanho{};
    QByteArray antigo;
    bool ok = GetFileSizeEx(h, &tamanho) && tamanho.QuadPart < 0x7FFFFFFF;
    if (ok) {
        antigo.resize(qsizetype(tamanho.QuadPart));
        DWORD lidos = 0;
        ok = ReadFile(h, antigo.data(), DWORD(antigo.size()), &lidos, nullptr) &&
             lidos == DWORD(antigo.size());
    }
    if (ok && conteudo.size() > antigo.size())
        ok = Posiciona(h, conteudo.size()) && SetEndOfFile(h);
    DWORD e = ok ? 0 : GetLastError();
    if (ok &&
        !(Posiciona(h, 0) && GravaTudo(h, conteudo) && SetEndOfFile(h) && FlushFileBuffers(h))) {
        ok = false;
        e = GetLastError();
        if (Posiciona(h, 0) && GravaTudo(h, antigo) && SetEndOfFile(h))
            FlushFileBuffers(h);
    }
    CloseHandle(h);
    if (!ok)
        *erro = ErroWindows(QStringLiteral("Não foi possível gravar ") + nome, e);
    return ok;
}

} // namespace

namespace Plataforma {

QChar Delimitador() {
    return u'\\';
}

QString CaminhoExecutavel() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), DWORD(buf.size()));
        if (n == 0)
            return {};
        if (n < buf.size())
            return QString::fromWCharArray(buf.data(), int(n));
        buf.resize(buf.size() * 2);
    }
}

bool IniciaPrograma(const QString& caminhoCompleto) {
    // The full path quoted, so that a folder with blanks never starts another program at
    // the path's unquoted prefix.
    std::wstring linha = L"\"" + Largo(caminhoCompleto) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    const std::wstring app = Largo(caminhoCompleto);
    if (!CreateProcessW(app.c_str(), linha.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

bool AbreNoSistema(const QString& alvo, Exibicao exibicao) {
    // The shell may hand the work to extensions that need COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const int modo = exibicao == Exibicao::Maximizada ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    const auto r = reinterpret_cast<INT_PTR>(
        ShellExecuteW(GetDesktopWindow(), L"open", Largo(alvo).c_str(), nullptr, nullptr, modo));
    if (SUCCEEDED(com))
        CoUninitialize();
    return r > 32;
}

bool AbrePrograma(const QString& caminhoCompleto) {
    return AbreNoSistema(QDir::toNativeSeparators(caminhoCompleto), Exibicao::Normal);
}

QString CapturaPastaProgramas() {
    return CapturaPastaProgramas(RaizRegistro::Maquina,
                                 QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion"));
}

QString CapturaPastaProgramas(RaizRegistro raiz, const QString& chave) {
    // Full access, as installations have always asked: where it is refused, the tool has
    // been kept at the root of the current drive, and is looked for there still. The key as a
    // 32-bit program sees it: the suite's earlier, 32-bit launcher read "Program Files (x86)"
    // on a 64-bit Windows and kept the tool there, where this 64-bit build must find it. A
    // system whose 32-bit view has no value (no 32-bit support) gives its own.
    bool aberta = false;
    QString valor;
    for (const REGSAM visao : {REGSAM(KEY_WOW64_32KEY), REGSAM(KEY_WOW64_64KEY)}) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(raiz == RaizRegistro::Maquina ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                          Largo(chave).c_str(), 0, KEY_ALL_ACCESS | visao, &h) != ERROR_SUCCESS)
            continue;
        aberta = true;
        DWORD tipo = 0;
        DWORD tamanho = 0;
        if (RegQueryValueExW(h, L"ProgramFilesDir", nullptr, &tipo, nullptr, &tamanho) ==
                ERROR_SUCCESS &&
            (tipo == REG_SZ || tipo == REG_EXPAND_SZ)) {
            std::vector<wchar_t> buf(tamanho / sizeof(wchar_t) + 1, L'\0');
            DWORD lidos = DWORD(buf.size() * sizeof(wchar_t));
            if (RegQueryValueExW(h, L"ProgramFilesDir", nullptr, &tipo,
                                 reinterpret_cast<BYTE*>(buf.data()), &lidos) == ERROR_SUCCESS) {
                valor = QString::fromWCharArray(buf.data()); // up to the first NUL
                if (tipo == REG_EXPAND_SZ) {
                    const std::wstring origem = Largo(valor);
                    const DWORD n = ExpandEnvironmentStringsW(origem.c_str(), nullptr, 0);
                    std::vector<wchar_t> exp(n + 1, L'\0');
                    if (n > 0 && ExpandEnvironmentStringsW(origem.c_str(), exp.data(), n + 1) > 0)
                        valor = QString::fromWCharArray(exp.data());
                }
            }
        }
        RegCloseKey(h);
        if (!valor.isEmpty())
            break;
    }
    if (!aberta)
        return {};
    if (!valor.isEmpty())
        return valor.endsWith(u'\\') ? valor : valor + u'\\';
    // A value of another type, or none, or an empty one (which would make the tool's path a
    // network path): the current folder's drive.
    const QString atual = QDir::toNativeSeparators(QDir::currentPath());
    QString unidade;
    if (atual.size() >= 2 && atual[1] == u':')
        unidade = atual.left(2);
    else if (atual.startsWith(QLatin1String("\\\\"))) // \\servidor\compartilhamento\...
        unidade = atual.section(u'\\', 0, 3);
    return unidade + QStringLiteral("\\Arquivos de Programas");
}

std::optional<Versao> LeVersaoArquivo(const QString& caminho) {
    const std::wstring nome = Largo(caminho);
    DWORD descarte = 0;
    const DWORD tamanho = GetFileVersionInfoSizeW(nome.c_str(), &descarte);
    if (tamanho == 0)
        return std::nullopt;
    std::vector<unsigned char> buf(tamanho);
    if (!GetFileVersionInfoW(nome.c_str(), 0, tamanho, buf.data()))
        return std::nullopt;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(buf.data(), L"\\", reinterpret_cast<void**>(&info), &len) || !info ||
        len < sizeof(VS_FIXEDFILEINFO) || info->dwSignature != 0xFEEF04BD)
        return std::nullopt;
    return Versao{HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                  HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};
}

bool ProcessoVivo(qint64 pid) {
    if (pid <= 0 || pid > 0xFFFFFFFFll)
        return false;
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!h)
        return GetLastError() == ERROR_ACCESS_DENIED; // someone else's, and running
    DWORD codigo = 0;
    const bool vivo = GetExitCodeProcess(h, &codigo) && codigo == STILL_ACTIVE;
    CloseHandle(h);
    return vivo;
}

bool GravaArquivoAtomico(const QString& caminho, const QByteArray& conteudo, QString* erro) {
    QString descarte;
    if (!erro)
        erro = &descarte;
    QString alvoQ = caminho;
    const QFileInfo fi(caminho);
    if (fi.isSymLink())
        alvoQ = fi.symLinkTarget();
    const std::wstring alvo = Largo(QDir::toNativeSeparators(alvoQ));

    const DWORD atributos = GetFileAttributesW(alvo.c_str());
    const bool existe = atributos != INVALID_FILE_ATTRIBUTES;
    if (existe && (atributos & FILE_ATTRIBUTE_READONLY)) {
        *erro = QStringLiteral("Arquivo somente para leitura: ") + alvoQ;
        return false;
    }
    // A folder of that name is never replaced (some ReplaceFileW implementations move it
    // aside and report success).
    if (existe && (atributos & FILE_ATTRIBUTE_DIRECTORY)) {
        *erro = QStringLiteral("Existe uma pasta com o nome do arquivo: ") + alvoQ;
        return false;
    }
    const std::wstring pasta = Largo(QDir::toNativeSeparators(QFileInfo(alvoQ).absolutePath()));
    // Copies left by our own processes that died in the middle of a write, if any.
    RemoveTemporariosAbandonados(alvoQ);
    const std::wstring nomeTemporario = Largo(QDir::toNativeSeparators(NomeTemporario(alvoQ)));
    const wchar_t* temporario = nomeTemporario.c_str();
    HANDLE h = CreateFileW(temporario, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *erro = ErroWindows(QStringLiteral("Não foi possível criar o arquivo temporário em ") +
                                QString::fromStdWString(pasta),
                            GetLastError());
        return false;
    }
    DWORD escritos = 0;
    const bool gravado =
        WriteFile(h, conteudo.constData(), DWORD(conteudo.size()), &escritos, nullptr) &&
        escritos == DWORD(conteudo.size()) && FlushFileBuffers(h);
    const DWORD eGravacao = GetLastError();
    CloseHandle(h);
    if (!gravado) {
        DeleteFileW(temporario);
        *erro = ErroWindows(QStringLiteral("Não foi possível gravar ") + alvoQ, eGravacao);
        return false;
    }
    // The new file takes the old one's attributes, then one rename puts it in the old one's
    // place: the name never stands empty, so a module reading the file meanwhile sees the old
    // content or the new one (ReplaceFileW removes the original for a moment under some
    // implementations). A module that holds the file open without delete sharing makes the
    // rename fail for a moment: retry, then write in place.
    SetFileAttributesW(temporario,
                       existe ? atributos & ~FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
    // Half a second in all: a module reads the file in a moment.
    for (int tentativa = 0; tentativa < 50; ++tentativa) {
        if (tentativa > 0)
            QThread::msleep(10);
        if (PodeSubstituir(alvo) && MoveFileExW(temporario, alvo.c_str(),
                                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
    }
    DeleteFileW(temporario);
    return GravaNoLugar(alvo, conteudo, erro);
}

struct InstanciaUnica::Dados {
    std::wstring nome;
    HANDLE mutex = nullptr;
};

InstanciaUnica::InstanciaUnica(const QString& classeJanela, const QString& titulo)
    : d_(std::make_unique<Dados>()) {
    // "Local\": the user's session, as the window search it stands for.
    d_->nome = Largo(QStringLiteral("Local\\") + NomeTravaInstancia(classeJanela, titulo));
}

InstanciaUnica::~InstanciaUnica() {
    if (d_->mutex)
        CloseHandle(d_->mutex);
}

bool InstanciaUnica::Adquire() {
    // The mutex lives while a handle to it is open: the system closes a process's handles
    // when it ends, however it ends. Not inheritable, so a started module never keeps it.
    HANDLE h = CreateMutexW(nullptr, FALSE, d_->nome.c_str());
    const DWORD erro = GetLastError();
    if (!h)
        return erro != ERROR_ACCESS_DENIED; // held with rights we do not have: held
    if (erro == ERROR_ALREADY_EXISTS) {
        CloseHandle(h);
        return false;
    }
    d_->mutex = h;
    return true;
}

} // namespace Plataforma
