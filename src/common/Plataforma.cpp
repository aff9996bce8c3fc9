// The parts of the platform layer that are the same on every platform.
#include "common/Plataforma.h"

#include "common/Texto.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace Plataforma {

QString PastaDoCaminho(const QString& caminho) {
    const qsizetype i = caminho.lastIndexOf(Delimitador());
    if (i < 0)
        return {};
    // A file in a root folder ("C:\X.EXE", "/x"): the root, delimiter included.
    // (lastIndexOf with -1 would search from the end again.)
    const bool raiz = i == 0 || caminho.lastIndexOf(Delimitador(), i - 1) < 0;
    return caminho.left(raiz ? i + 1 : i);
}

QString UltimoComponente(const QString& caminho) {
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
    const QString nome =
        QStringLiteral("gerenciador-") +
        QString::fromLatin1(QCryptographicHash::hash(chave, QCryptographicHash::Sha1).toHex()) +
        QStringLiteral(".lock");
    d_->trava = std::make_unique<QLockFile>(pasta + u'/' + nome);
    // A lock is stale only when its owner is gone, however old it is.
    d_->trava->setStaleLockTime(0);
}

InstanciaUnica::~InstanciaUnica() = default;

bool InstanciaUnica::Adquire() {
    return d_->trava->tryLock(0);
}

} // namespace Plataforma
