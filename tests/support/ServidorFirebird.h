#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The Firebird server that scripts/servicos/firebird starts on 127.0.0.1:3050, seen through
// Firebird's own tools (fbsvcmgr, isql-fb) so that tests check the server independently of
// the program's client.
namespace ServidorFirebird {

// SYSDBA's password on the test server (scripts/setup.d/firebird.sh sets it).
inline constexpr const char* SenhaSysdba = "plumbvext";

// True when the server answers as SYSDBA; otherwise false with the reason, for QSKIP.
bool Disponivel(QString* motivo);

// A user as the security database holds it (sec$users); a missing name reads as empty.
struct Usuario {
    QString UserName, FirstName, MiddleName, LastName;
};
QList<Usuario> Usuarios();

// Runs SQL statements as SYSDBA in a scratch database created for the occasion and dropped
// at the end (user management statements act on the server's security database). Statements
// that fail are reported in `saida` and the rest still run; true when all of them ran.
bool ExecutaSql(const QStringList& comandos, QString* saida = nullptr);

// Runs fbsvcmgr on 127.0.0.1:service_mgr as `usuario` with `senha` and the given arguments;
// true when it exits with 0.
bool Fbsvcmgr(const QString& usuario, const QString& senha, const QStringList& argumentos,
              QString* saida = nullptr);

// Creates an empty database at `caminho` on the server (the server's user must be able to
// write its folder), or drops the one there; true on success.
bool CriaBanco(const QString& caminho, QString* saida = nullptr);
bool ApagaBanco(const QString& caminho);

// The server's version as fbsvcmgr reports it ("LI-V3.0.11.33637 Firebird 3.0"); empty when
// it does not answer.
QString Versao();

} // namespace ServidorFirebird
