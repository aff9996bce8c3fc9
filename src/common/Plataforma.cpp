// The parts of the platform layer that are the same on every platform.
#include "common/Plataforma.h"

#include "common/Texto.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
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

QString NomeTravaInstancia(const QString& classeJanela, const QString& titulo) {
    // A title may hold any character: the name is a hash of the key.
    const QByteArray chave = (classeJanela + u'\n' + titulo).toUtf8();
    return QStringLiteral("gerenciador-") +
           QString::fromLatin1(QCryptographicHash::hash(chave, QCryptographicHash::Sha1).toHex());
}

} // namespace Plataforma
