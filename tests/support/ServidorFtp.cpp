#include "support/ServidorFtp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

QString PythonDoSistema() {
#ifdef Q_OS_WIN
    // Under Wine the Linux program is reached through drive Z:.
    return QStringLiteral("Z:\\usr\\bin\\python3");
#else
    return QStringLiteral("/usr/bin/python3");
#endif
}

namespace {

// The server is a Linux program: under Wine its files live on drive Z:, the Linux root, and
// it is given their Linux paths.
QString ModeloPasta() {
#ifdef Q_OS_WIN
    return QStringLiteral("Z:/tmp/servidor_ftp-XXXXXX");
#else
    return QDir::tempPath() + QStringLiteral("/servidor_ftp-XXXXXX");
#endif
}

QString CaminhoLinux(const QString& caminho) {
    QString c = QDir::fromNativeSeparators(caminho);
#ifdef Q_OS_WIN
    if (c.startsWith(QLatin1String("Z:"), Qt::CaseInsensitive))
        c = c.mid(2);
#endif
    return c;
}

} // namespace

ServidorFtp::ServidorFtp(const Opcoes& opcoes) : pasta_(ModeloPasta()) {
    if (!pasta_.isValid()) {
        motivo_ = QStringLiteral("sem pasta temporária");
        return;
    }
    QDir(pasta_.path()).mkpath(QStringLiteral("raiz"));
    const QString script = QDir::fromNativeSeparators(qEnvironmentVariable("GERENCIADOR_FONTES")) +
                           QStringLiteral("/tests/support/servidor_ftp.py");
    QStringList args{CaminhoLinux(script),
                     QStringLiteral("--raiz"),
                     CaminhoLinux(pasta_.filePath(QStringLiteral("raiz"))),
                     QStringLiteral("--usuario"),
                     opcoes.usuario,
                     QStringLiteral("--senha"),
                     opcoes.senha,
                     QStringLiteral("--log"),
                     CaminhoLinux(pasta_.filePath(QStringLiteral("log")))};
    if (opcoes.limite > 0)
        args << QStringLiteral("--limite") << QString::number(opcoes.limite);
    if (opcoes.corta >= 0)
        args << QStringLiteral("--corta") << QString::number(opcoes.corta)
             << QStringLiteral("--corte")
             << (opcoes.corteCompleta ? QStringLiteral("completa") : QStringLiteral("fecha"));
    if (opcoes.sobra > 0)
        args << QStringLiteral("--sobra") << QString::number(opcoes.sobra);
    if (opcoes.segura226)
        args << QStringLiteral("--segura-226");
    if (opcoes.seguraQuit)
        args << QStringLiteral("--segura-quit");
    if (opcoes.respostaLonga > 0)
        args << QStringLiteral("--resposta-longa") << QString::number(opcoes.respostaLonga);
#ifdef Q_OS_WIN
    // Under Wine a Linux program starts, but a Windows program can neither read its output
    // nor stop it: it writes its port into a file and serves while another file exists.
    const QString vivo = pasta_.filePath(QStringLiteral("vivo"));
    const QString arquivoPorta = pasta_.filePath(QStringLiteral("porta"));
    QFile(vivo).open(QIODevice::WriteOnly);
    args << QStringLiteral("--arquivo-porta") << CaminhoLinux(arquivoPorta)
         << QStringLiteral("--enquanto") << CaminhoLinux(vivo);
    if (!QProcess::startDetached(PythonDoSistema(), args)) {
        motivo_ = PythonDoSistema() + QStringLiteral(" não iniciou");
        return;
    }
    QByteArray linha;
    for (int i = 0; i < 300 && linha.isEmpty(); ++i) {
        QFile f(arquivoPorta);
        if (f.open(QIODevice::ReadOnly))
            linha = f.readAll();
        else
            QTest::qWait(100);
    }
#else
    processo_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    processo_.start(PythonDoSistema(), args);
    if (!processo_.waitForStarted(30000)) {
        motivo_ = PythonDoSistema() + QStringLiteral(" não iniciou: ") + processo_.errorString();
        return;
    }
    // The first line is the port.
    QByteArray linha;
    while (!linha.contains('\n') && processo_.state() == QProcess::Running &&
           processo_.waitForReadyRead(30000))
        linha += processo_.readAll();
#endif
    porta_ = quint16(linha.trimmed().toUInt());
    if (porta_ == 0) {
        motivo_ = QStringLiteral("servidor FTP de testes (python3-pyftpdlib) não respondeu: ") +
                  QString::fromUtf8(linha);
        Para();
    }
}

ServidorFtp::~ServidorFtp() {
    Para();
}

void ServidorFtp::Para() {
#ifdef Q_OS_WIN
    // The server ends within a fifth of a second of the file going, and removes its port file.
    if (!QFile::remove(pasta_.filePath(QStringLiteral("vivo"))))
        return;
    for (int i = 0; i < 50 && QFile::exists(pasta_.filePath(QStringLiteral("porta"))); ++i)
        QTest::qWait(100);
#else
    if (processo_.state() == QProcess::NotRunning)
        return;
    processo_.terminate(); // SIGTERM to its pid
    if (!processo_.waitForFinished(5000)) {
        processo_.kill();
        processo_.waitForFinished(5000);
    }
#endif
}

void ServidorFtp::Grava(const QString& caminho, const QByteArray& bytes) const {
    const QString alvo = pasta_.filePath(QStringLiteral("raiz")) + caminho;
    QDir().mkpath(QFileInfo(alvo).absolutePath());
    QFile f(alvo);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        QTest::qFail(qPrintable(QStringLiteral("não gravou ") + alvo), __FILE__, __LINE__);
}

QStringList ServidorFtp::Log() const {
    QFile f(pasta_.filePath(QStringLiteral("log")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QStringList ServidorFtp::Comandos() const {
    QStringList r;
    for (const QString& linha : Log())
        if (linha != QLatin1String("CONEXAO"))
            r.append(linha.section(u' ', 0, 0).toUpper());
    return r;
}
