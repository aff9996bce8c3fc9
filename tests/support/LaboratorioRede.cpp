#include "support/LaboratorioRede.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

LaboratorioRede::LaboratorioRede() {
    // The daemons drop root: they must reach their sockets in the lab.
    QFile::setPermissions(raiz_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                            QFile::ExeGroup);
    pasta_ = raiz_.path() + QStringLiteral("/lab");
    sufixo_ = QString::number(QCoreApplication::applicationPid() % 100000);
}

LaboratorioRede::~LaboratorioRede() {
    if (de_pe_)
        Desce();
}

bool LaboratorioRede::Desce() {
    de_pe_ = false;
    return Comando({QStringLiteral("down")});
}

bool LaboratorioRede::Sobe(QString* motivo) {
    de_pe_ = true; // whatever came up goes down
    return Comando({QStringLiteral("up")}, {}, motivo);
}

bool LaboratorioRede::Comando(const QStringList& argumentos, const QStringList& ambiente,
                              QString* saida) const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LAB"), pasta_);
    env.insert(QStringLiteral("SUFIXO"), sufixo_);
    for (const QString& v : ambiente)
        env.insert(v.section(u'=', 0, 0), v.section(u'=', 1));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("bash"),
            QStringList{qEnvironmentVariable("GERENCIADOR_FONTES") +
                        QStringLiteral("/tests/auxiliar/laboratorio_rede.sh")} +
                argumentos);
    const bool ok =
        p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (saida)
        *saida = QString::fromLocal8Bit(p.readAll());
    return ok;
}

QString LaboratorioRede::Ns(char lado) const {
    return QStringLiteral("nb") + QLatin1Char(lado) + sufixo_;
}

QString LaboratorioRede::Veth(char lado) const {
    return QStringLiteral("vnb") + QLatin1Char(lado) + sufixo_;
}

QString LaboratorioRede::Barramento(char lado) const {
    return QStringLiteral("unix:path=%1/%2/system_bus_socket").arg(pasta_).arg(QLatin1Char(lado));
}

ProcessoLab::ProcessoLab(const LaboratorioRede& lab, char lado, const QStringList& comando) {
    p_.setProgram(QStringLiteral("ip"));
    p_.setArguments(QStringList{"netns", "exec", lab.Ns(lado), "env",
                                u"DBUS_SYSTEM_BUS_ADDRESS="_qs + lab.Barramento(lado),
                                "QT_QPA_PLATFORM=offscreen"} +
                    comando);
    p_.start();
    p_.waitForStarted();
}

const QStringList& ProcessoLab::Linhas() {
    while (p_.waitForReadyRead(0)) // what the program wrote so far, without waiting
        ;
    while (p_.canReadLine())
        linhas_.append(QString::fromUtf8(p_.readLine()).trimmed());
    return linhas_;
}

QString ProcessoLab::Espera(const QString& fim, int ms, qsizetype desde, bool padrao) {
    const QRegularExpression expressao(padrao ? fim + u'$' : QString());
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        const QStringList& l = Linhas();
        for (qsizetype i = desde; i < l.size(); ++i)
            if (padrao ? expressao.match(l[i]).hasMatch() : l[i].endsWith(fim))
                return l[i];
        p_.waitForReadyRead(100);
    }
    return {};
}

QString ProcessoLab::Erros() {
    erros_ += QString::fromLocal8Bit(p_.readAllStandardError());
    return erros_;
}

int ProcessoLab::Para(bool pelaEntrada) {
    if (p_.state() == QProcess::NotRunning)
        return p_.exitStatus() == QProcess::NormalExit ? p_.exitCode() : -1;
    if (pelaEntrada)
        p_.closeWriteChannel();
    else
        p_.terminate();
    if (!p_.waitForFinished(15000)) {
        p_.kill();
        p_.waitForFinished(5000);
        return -1;
    }
    return p_.exitStatus() == QProcess::NormalExit ? p_.exitCode() : -1;
}
