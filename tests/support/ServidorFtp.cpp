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

ServidorFtp::ServidorFtp(const Opcoes& opcoes) {
    if (!pasta_.isValid()) {
        motivo_ = QStringLiteral("sem pasta temporária");
        return;
    }
    QDir(pasta_.path()).mkpath(QStringLiteral("raiz"));
    const QString script = QDir::fromNativeSeparators(qEnvironmentVariable("GERENCIADOR_FONTES")) +
                           QStringLiteral("/tests/support/servidor_ftp.py");
    QStringList args{script,
                     QStringLiteral("--raiz"),
                     QDir::toNativeSeparators(pasta_.filePath(QStringLiteral("raiz"))),
                     QStringLiteral("--usuario"),
                     opcoes.usuario,
                     QStringLiteral("--senha"),
                     opcoes.senha,
                     QStringLiteral("--log"),
                     QDir::toNativeSeparators(pasta_.filePath(QStringLiteral("log")))};
    if (opcoes.limite > 0)
        args << QStringLiteral("--limite") << QString::number(opcoes.limite);
    if (opcoes.corta >= 0)
        args << QStringLiteral("--corta") << QString::number(opcoes.corta)
             << QStringLiteral("--corte")
             << (opcoes.corteCompleta ? QStringLiteral("completa") : QStringLiteral("fecha"));
#ifdef Q_OS_WIN
    // The script runs as a Linux program and takes Linux paths.
    for (QString& a : args)
        if (a.startsWith(QLatin1String("Z:"), Qt::CaseInsensitive))
            a = QDir::fromNativeSeparators(a.mid(2));
#endif
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
    if (processo_.state() == QProcess::NotRunning)
        return;
    processo_.terminate(); // SIGTERM to its pid
    if (!processo_.waitForFinished(5000)) {
        processo_.kill();
        processo_.waitForFinished(5000);
    }
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
