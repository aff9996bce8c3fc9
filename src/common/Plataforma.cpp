// The parts of the platform layer that are the same on every platform.
#include "common/Plataforma.h"

#include "common/Texto.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <QSysInfo>

namespace {

// This machine's name as it may stand in a file name.
QString MaquinaNoNome() {
    static const QString nome = [] {
        QString r = QSysInfo::machineHostName().left(32);
        for (QChar& c : r)
            if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'-' && c != u'_')
                c = u'_';
        return r.isEmpty() ? QStringLiteral("_") : r;
    }();
    return nome;
}

QString PrefixoTemporario(const QString& alvo) {
    return u'.' + QFileInfo(alvo).fileName() + QLatin1String(".gerenciador-");
}

} // namespace

namespace Plataforma {

QString NomeTemporario(const QString& alvo) {
    return QFileInfo(alvo).absolutePath() + u'/' + PrefixoTemporario(alvo) +
           QStringLiteral("%1-%2-%3")
               .arg(QCoreApplication::applicationPid())
               .arg(MaquinaNoNome())
               .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

void RemoveTemporariosAbandonados(const QString& alvo) {
    const QString prefixo = PrefixoTemporario(alvo);
    static const QRegularExpression resto(QStringLiteral("^(\\d{1,10})-(.+)-[0-9a-f]{8}$"));
    const QDir pasta = QFileInfo(alvo).absoluteDir();
    QDirIterator it(pasta.path(), QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        const QString nome = it.fileName();
        if (!nome.startsWith(prefixo))
            continue;
        const QRegularExpressionMatch m = resto.match(QStringView(nome).mid(prefixo.size()));
        if (!m.hasMatch() || m.captured(2) != MaquinaNoNome())
            continue;
        const qint64 pid = m.captured(1).toLongLong();
        if (pid != QCoreApplication::applicationPid() && !ProcessoVivo(pid))
            QFile::remove(it.filePath());
    }
}

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
