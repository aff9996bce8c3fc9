// The parts of the platform layer that are the same on every platform.
#include "common/Plataforma.h"

#include "common/Texto.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <QStringList>

namespace Plataforma {

QString PastaDoCaminho(const QString& caminhoDado) {
    // Windows takes '/' as a delimiter too; the result is spelled with its own.
    const QString caminho = QDir::toNativeSeparators(caminhoDado);
    const qsizetype i = caminho.lastIndexOf(Delimitador());
    if (i < 0)
        return {};
    // A file in a root folder ("C:\X.EXE", "/x"): the root, delimiter included.
    // (lastIndexOf with -1 would search from the end again.)
    const bool raiz = i == 0 || caminho.lastIndexOf(Delimitador(), i - 1) < 0;
    return caminho.left(raiz ? i + 1 : i);
}

QString UltimoComponente(const QString& caminhoDado) {
    const QString caminho = QDir::toNativeSeparators(caminhoDado);
    return caminho.mid(caminho.lastIndexOf(Delimitador()) + 1);
}

QString PastaPrograma(const QString& caminhoExecutavel) {
    QString pasta = PastaDoCaminho(caminhoExecutavel);
#ifdef Q_OS_WIN
    pasta = MaiusculasAscii(pasta);
#else
    if (pasta.endsWith(Delimitador())) // the root folder: "/" and not "//"
        return pasta;
#endif
    return pasta + Delimitador();
}

struct InstanciaUnica::Dados {
    QString nome;
    QStringList pastas; // where the lock may be kept, in order of preference
    std::unique_ptr<QLockFile> trava;
};

InstanciaUnica::InstanciaUnica(const QString& classeJanela, const QString& titulo)
    : d_(std::make_unique<Dados>()) {
    // A per-user lock; the name is a hash, since a title may hold any character.
#ifdef Q_OS_WIN
    QString pasta = QDir::tempPath();
#else
    QString pasta = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (pasta.isEmpty())
        pasta = QDir::tempPath();
#endif
    const QByteArray chave = (classeJanela + u'\n' + titulo).toUtf8();
    d_->nome =
        QStringLiteral("gerenciador-") +
        QString::fromLatin1(QCryptographicHash::hash(chave, QCryptographicHash::Sha1).toHex()) +
        QStringLiteral(".lock");
    d_->pastas = QStringList{pasta, QDir::tempPath()};
}

InstanciaUnica::~InstanciaUnica() = default;

bool InstanciaUnica::Adquire() {
    for (const QString& pasta : std::as_const(d_->pastas)) {
        QDir().mkpath(pasta);
        d_->trava = std::make_unique<QLockFile>(pasta + u'/' + d_->nome);
        // A lock is stale only when its owner is gone, however old it is.
        d_->trava->setStaleLockTime(0);
        if (d_->trava->tryLock(0))
            return true;
        if (d_->trava->error() == QLockFile::LockFailedError)
            return false; // another copy holds it
        // No lock file can be made here (no such folder, no permission): try the next place.
    }
    // Nowhere to keep a lock: the program runs rather than being refused for ever.
    d_->trava.reset();
    return true;
}

} // namespace Plataforma
