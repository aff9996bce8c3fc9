#include "support/ServidorFirebird.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QProcess>

namespace ServidorFirebird {

namespace {

constexpr int EsperaMs = 60000;

bool Executa(const QString& programa, const QStringList& argumentos, const QByteArray& entrada,
             QString* saida) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(programa, argumentos);
    if (!p.waitForStarted(EsperaMs)) {
        if (saida)
            *saida = programa + QStringLiteral(": ") + p.errorString();
        return false;
    }
    p.write(entrada);
    p.closeWriteChannel();
    const bool terminou = p.waitForFinished(EsperaMs);
    if (!terminou) {
        p.kill();
        p.waitForFinished();
    }
    if (saida)
        *saida = QString::fromUtf8(p.readAll());
    return terminou && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString Sql(const QString& texto) {
    QString r = texto;
    return u'\'' + r.replace(u'\'', QLatin1String("''")) + u'\'';
}

} // namespace

bool Disponivel(QString* motivo) {
    QString saida;
    if (Fbsvcmgr(QStringLiteral("SYSDBA"), QLatin1String(SenhaSysdba),
                 {QStringLiteral("info_server_version")}, &saida))
        return true;
    if (motivo)
        *motivo = QStringLiteral("servidor Firebird de testes fora do ar em 127.0.0.1:3050 "
                                 "(scripts/setup e scripts/servicos/firebird start): ") +
                  saida.simplified();
    return false;
}

bool Fbsvcmgr(const QString& usuario, const QString& senha, const QStringList& argumentos,
              QString* saida) {
    return Executa(QStringLiteral("fbsvcmgr"),
                   QStringList{QStringLiteral("127.0.0.1:service_mgr"), QStringLiteral("user"),
                               usuario, QStringLiteral("password"), senha} +
                       argumentos,
                   {}, saida);
}

bool ExecutaSql(const QStringList& comandos, QString* saida) {
    static QAtomicInt contador;
    const QString banco =
        QStringLiteral("127.0.0.1:/var/lib/firebird/3.0/data/gerenciador_teste_%1_%2.fdb")
            .arg(QCoreApplication::applicationPid())
            .arg(contador.fetchAndAddRelaxed(1));
    QString script = QStringLiteral("set list on;\ncreate database %1 user 'SYSDBA' password %2;\n")
                         .arg(Sql(banco), Sql(QLatin1String(SenhaSysdba)));
    for (const QString& c : comandos)
        script += c + QStringLiteral(";\n");
    script += QStringLiteral("commit;\ndrop database;\n");
    return Executa(QStringLiteral("isql-fb"), {QStringLiteral("-q")}, script.toUtf8(), saida);
}

bool CriaBanco(const QString& caminho, QString* saida) {
    return Executa(
        QStringLiteral("isql-fb"), {QStringLiteral("-q")},
        QStringLiteral("create database %1 user 'SYSDBA' password %2;\ncommit;\n")
            .arg(Sql(QStringLiteral("127.0.0.1:") + caminho), Sql(QLatin1String(SenhaSysdba)))
            .toUtf8(),
        saida);
}

bool ApagaBanco(const QString& caminho) {
    return Executa(
        QStringLiteral("isql-fb"), {QStringLiteral("-q")},
        QStringLiteral("connect %1 user 'SYSDBA' password %2;\ndrop database;\n")
            .arg(Sql(QStringLiteral("127.0.0.1:") + caminho), Sql(QLatin1String(SenhaSysdba)))
            .toUtf8(),
        nullptr);
}

QString Versao() {
    QString saida;
    if (!Fbsvcmgr(QStringLiteral("SYSDBA"), QLatin1String(SenhaSysdba),
                  {QStringLiteral("info_server_version")}, &saida))
        return {};
    return saida.section(QStringLiteral("Server version:"), 1).trimmed();
}

QList<Usuario> Usuarios() {
    QString saida;
    ExecutaSql({QStringLiteral("select sec$user_name, sec$first_name, sec$middle_name, "
                               "sec$last_name from sec$users")},
               &saida);
    QList<Usuario> usuarios;
    for (const QString& linha : saida.split(u'\n')) {
        const QString l = linha.trimmed();
        const qsizetype espaco = l.indexOf(u' ');
        const QString campo = espaco < 0 ? l : l.first(espaco);
        QString valor = espaco < 0 ? QString() : l.sliced(espaco).trimmed();
        if (valor == QLatin1String("<null>"))
            valor.clear();
        if (campo == QLatin1String("SEC$USER_NAME"))
            usuarios.append(Usuario{valor, {}, {}, {}});
        else if (usuarios.isEmpty())
            continue;
        else if (campo == QLatin1String("SEC$FIRST_NAME"))
            usuarios.last().FirstName = valor;
        else if (campo == QLatin1String("SEC$MIDDLE_NAME"))
            usuarios.last().MiddleName = valor;
        else if (campo == QLatin1String("SEC$LAST_NAME"))
            usuarios.last().LastName = valor;
    }
    return usuarios;
}

} // namespace ServidorFirebird
