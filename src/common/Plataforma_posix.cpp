// Linux (POSIX) side of the platform layer.
#include "common/BlocoVersao.h"
#include "common/Plataforma.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString ErroSistema(const QString& oque, int numero) {
    return oque + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(numero));
}

std::uint64_t LeInteiro(const QByteArray& b, qsizetype pos, int tamanho) {
    std::uint64_t v = 0;
    for (int i = tamanho - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[pos + i]);
    return v;
}

// Reads len bytes at offset, or nothing when the file is shorter.
std::optional<QByteArray> LeTrecho(QFile& f, std::uint64_t offset, std::uint64_t len) {
    if (offset > std::uint64_t(f.size()) || len > std::uint64_t(f.size()) - offset ||
        !f.seek(qint64(offset)))
        return std::nullopt;
    QByteArray b = f.read(qint64(len));
    if (std::uint64_t(b.size()) != len)
        return std::nullopt;
    return b;
}

std::optional<QByteArray> SecaoElf(const QString& caminho, const char* procurada) {
    if (!QFileInfo(caminho).isFile()) // a folder, a pipe or a device is no executable
        return std::nullopt;
    QFile f(caminho);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto cab = LeTrecho(f, 0, 64);
    if (!cab ||
        !cab->startsWith("\x7F"
                         "ELF") ||
        (*cab)[5] != 1) // little-endian only
        return std::nullopt;
    const bool elf64 = (*cab)[4] == 2;
    if (!elf64 && (*cab)[4] != 1)
        return std::nullopt;
    const std::uint64_t shoff = elf64 ? LeInteiro(*cab, 0x28, 8) : LeInteiro(*cab, 0x20, 4);
    const std::uint64_t shentsize = LeInteiro(*cab, elf64 ? 0x3A : 0x2E, 2);
    const std::uint64_t shnum = LeInteiro(*cab, elf64 ? 0x3C : 0x30, 2);
    const std::uint64_t shstrndx = LeInteiro(*cab, elf64 ? 0x3E : 0x32, 2);
    if (shentsize < (elf64 ? 64u : 40u) || shnum == 0 || shstrndx >= shnum)
        return std::nullopt;
    const auto tabela = LeTrecho(f, shoff, shentsize * shnum);
    if (!tabela)
        return std::nullopt;
    struct Secao {
        std::uint64_t nome, tipo, offset, tamanho;
    };
    auto secao = [&](std::uint64_t i) {
        const qsizetype p = qsizetype(i * shentsize);
        if (elf64)
            return Secao{LeInteiro(*tabela, p, 4), LeInteiro(*tabela, p + 4, 4),
                         LeInteiro(*tabela, p + 0x18, 8), LeInteiro(*tabela, p + 0x20, 8)};
        return Secao{LeInteiro(*tabela, p, 4), LeInteiro(*tabela, p + 4, 4),
                     LeInteiro(*tabela, p + 0x10, 4), LeInteiro(*tabela, p + 0x14, 4)};
    };
    const Secao nomes = secao(shstrndx);
    const auto strtab = LeTrecho(f, nomes.offset, nomes.tamanho);
    if (!strtab)
        return std::nullopt;
    for (std::uint64_t i = 0; i < shnum; ++i) {
        const Secao s = secao(i);
        if (s.nome >= std::uint64_t(strtab->size()))
            continue;
        const char* nome = strtab->constData() + s.nome;
        const auto resto = std::size_t(strtab->size()) - std::size_t(s.nome);
        if (strnlen(nome, resto) == resto || std::strcmp(nome, procurada) != 0)
            continue;
        if (s.tipo == 8) // SHT_NOBITS: no bytes in the file
            return std::nullopt;
        return LeTrecho(f, s.offset, s.tamanho);
    }
    return std::nullopt;
}

// Follows symbolic links to the file they name (which may not exist yet).
// Nothing for a loop of links, which names no file.
std::optional<QString> SegueLinks(const QString& caminho) {
    QString atual = caminho;
    for (int i = 0; i < 40; ++i) {
        const QFileInfo fi(atual);
        if (!fi.isSymLink())
            return atual;
        atual = fi.symLinkTarget();
    }
    return std::nullopt;
}

bool SemPermissaoDeEscrita(const QByteArray& nativo, const char* oque, QString* erro) {
    struct stat st {};
    if (::stat(nativo.constData(), &st) != 0)
        return false;
    // A file or folder without any write bit is read-only for everybody, root included, as a
    // read-only file is on Windows.
    if ((st.st_mode & 0222) == 0 || ::access(nativo.constData(), W_OK) != 0) {
        *erro = QStringLiteral("%1 somente para leitura: %2")
                    .arg(QLatin1String(oque), QString::fromLocal8Bit(nativo));
        return true;
    }
    return false;
}

} // namespace

namespace Plataforma {

QChar Delimitador() {
    return u'/';
}

QString CaminhoExecutavel() {
    char buf[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    return n > 0 ? QString::fromLocal8Bit(buf, n) : QString();
}

bool IniciaPrograma(const QString& caminhoCompleto) {
    return QProcess::startDetached(caminhoCompleto, {}, QDir::currentPath());
}

bool ProcessoVivo(qint64 pid) {
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

bool AbreNoSistema(const QString& alvo, Exibicao) {
    return QDesktopServices::openUrl(QUrl::fromUserInput(alvo, QDir::currentPath()));
}

bool AbrePrograma(const QString& caminhoCompleto) {
    return IniciaPrograma(caminhoCompleto);
}

QString CapturaPastaProgramas() {
    return QStringLiteral("/opt/");
}

std::optional<Versao> LeVersaoArquivo(const QString& caminho) {
    const auto bloco = SecaoElf(caminho, kSecaoVersao);
    if (!bloco || bloco->size() < 16 || LeInteiro(*bloco, 0, 4) != kAssinaturaVersao)
        return std::nullopt;
    const auto ms = std::uint32_t(LeInteiro(*bloco, 8, 4));
    const auto ls = std::uint32_t(LeInteiro(*bloco, 12, 4));
    return Versao{std::uint16_t(ms >> 16), std::uint16_t(ms & 0xFFFF), std::uint16_t(ls >> 16),
                  std::uint16_t(ls & 0xFFFF)};
}

bool GravaArquivoAtomico(const QString& caminho, const QByteArray& conteudo, QString* erro) {
    QString descarte;
    if (!erro)
        erro = &descarte;
    const auto seguido = SegueLinks(caminho);
    if (!seguido) {
        *erro = ErroSistema(QStringLiteral("Não foi possível gravar ") + caminho, ELOOP);
        return false;
    }
    const QString alvo = *seguido;
    const QByteArray nativo = QFile::encodeName(alvo);
    QString pasta = QFileInfo(alvo).absolutePath();
    const QByteArray pastaNativa = QFile::encodeName(pasta);

    struct stat original {};
    const bool existe = ::stat(nativo.constData(), &original) == 0;
    if (!existe && errno != ENOENT) {
        // Something is there that cannot be looked at: never put a new file in its place.
        *erro = ErroSistema(QStringLiteral("Não foi possível gravar ") + alvo, errno);
        return false;
    }
    if (existe && SemPermissaoDeEscrita(nativo, "Arquivo", erro))
        return false;
    if (SemPermissaoDeEscrita(pastaNativa, "Pasta", erro))
        return false;

    // Copies left by our own processes that died in the middle of a write, if any.
    RemoveTemporariosAbandonados(alvo);
    // An unnamed file in the folder (O_TMPFILE): a process killed before the end leaves
    // nothing behind. It gets a name only at the end, for the rename. Where the file system
    // has no unnamed files, a named one from the start.
    const QByteArray temporario = QFile::encodeName(NomeTemporario(alvo));
    bool semNome = true;
    int fd = ::open(pastaNativa.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        semNome = false;
        fd = ::open(temporario.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    }
    if (fd < 0) {
        *erro = ErroSistema(
            QStringLiteral("Não foi possível criar o arquivo temporário em ") + pasta, errno);
        return false;
    }
    auto falha = [&](const QString& oque) {
        const int e = errno;
        ::close(fd);
        if (!semNome)
            ::unlink(temporario.constData());
        *erro = ErroSistema(oque, e);
        return false;
    };

    const char* p = conteudo.constData();
    qsizetype falta = conteudo.size();
    while (falta > 0) {
        const ssize_t n = ::write(fd, p, std::size_t(falta));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return falha(QStringLiteral("Não foi possível gravar ") + alvo);
        p += n;
        falta -= n;
    }
    mode_t modo = 0666;
    if (existe) {
        modo = original.st_mode & 07777;
        // Keep the owner too where we may (as root); elsewhere the file is ours anyway.
        if (::fchown(fd, original.st_uid, original.st_gid) != 0) {
        }
    } else {
        const mode_t mascara = ::umask(0);
        ::umask(mascara);
        modo &= ~mascara;
    }
    if (::fchmod(fd, modo) != 0 || ::fsync(fd) != 0)
        return falha(QStringLiteral("Não foi possível gravar ") + alvo);
    if (semNome) {
        const QByteArray proprio = "/proc/self/fd/" + QByteArray::number(fd);
        if (::linkat(AT_FDCWD, proprio.constData(), AT_FDCWD, temporario.constData(),
                     AT_SYMLINK_FOLLOW) != 0)
            return falha(QStringLiteral("Não foi possível gravar ") + alvo);
        semNome = false;
    }
    if (::close(fd) != 0) {
        const int e = errno;
        ::unlink(temporario.constData());
        *erro = ErroSistema(QStringLiteral("Não foi possível gravar ") + alvo, e);
        return false;
    }
    if (::rename(temporario.constData(), nativo.constData()) != 0) {
        const int e = errno;
        ::unlink(temporario.constData());
        *erro = ErroSistema(QStringLiteral("Não foi possível substituir ") + alvo, e);
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int dfd = ::open(pastaNativa.constData(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

struct InstanciaUnica::Dados {
    QString nome;
    int fd = -1;
};

InstanciaUnica::InstanciaUnica(const QString& classeJanela, const QString& titulo)
    : d_(std::make_unique<Dados>()) {
    d_->nome = NomeTravaInstancia(classeJanela, titulo) + QStringLiteral(".lock");
}

// The file stays: removing it would let a copy that opened it a moment earlier lock a file
// that no longer has a name while the next one locks a new file.
InstanciaUnica::~InstanciaUnica() {
    if (d_->fd >= 0)
        ::close(d_->fd);
}

bool InstanciaUnica::Adquire() {
    QStringList pastas;
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        pastas.append(runtime);
    pastas.append(QDir::tempPath());
    for (const QString& pasta : std::as_const(pastas)) {
        QDir().mkpath(pasta);
        const QByteArray caminho = QFile::encodeName(pasta + u'/' + d_->nome);
        // Close-on-exec: a module started from the launcher must not inherit the lock and keep
        // it after the launcher ends.
        const int fd = ::open(caminho.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            continue; // no lock file here (no such folder, no permission): the next place
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // Who holds it, for a person who looks; nothing reads it back.
            const QByteArray pid = QByteArray::number(::getpid()) + '\n';
            [[maybe_unused]] const bool escrito =
                ::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.constData(), size_t(pid.size()), 0) > 0;
            d_->fd = fd;
            return true;
        }
        const int e = errno;
        ::close(fd);
        if (e == EWOULDBLOCK || e == EINTR)
            return false; // another copy holds it
        // A file system without flock(): the next place.
    }
    // Nowhere to hold a lock: the program runs rather than being refused for ever.
    return true;
}

} // namespace Plataforma
