#pragma once

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Whether this workstation can open the database that the suite's modules open: the "Database"
// of the edition's section of DBXCONNECTIONS.INI, attached with that section's user and
// password through the Firebird client library loaded at run time. The answer is the server's
// version and the attach time, or one cause in plain Portuguese and one next step.

// The connection the modules use, as the section holds it (read only, never written).
struct BancoDbx {
    QString database; // "host:path", "host/port:path", a local path...
    QString usuario;  // User_Name
    QString senha;    // Password
};

// How a check ended. The first three come from the file, before any attach.
enum class CausaBanco {
    SemArquivoDbx,        // DBXCONNECTIONS.INI exists but cannot be read
    SemSecao,             // no section, or no "Database" in it
    SemCredenciais,       // no User_Name or no Password
    Conectado,            // attached: version and time known
    ClienteAusente,       // the client library is not installed here
    NomeNaoResolve,       // the server's name does not resolve
    PortaFechada,         // nothing takes the connection on the server's port
    PortaFechadaJaDita,   // the same, when the port line above already said so
    SemResposta,          // the port takes the connection but no Firebird answers in time
    LoginRecusado,        // user or password refused
    ArquivoNaoEncontrado, // no database file at that path on the server
    CriptografiaRecusada, // wire encryption or authentication plugin refused
    Outra,                // anything else: the server's own text
};

struct ResultadoBanco {
    CausaBanco causa = CausaBanco::Outra;
    qint64 ms = 0;   // attach time, when attached
    QString versao;  // the server's version text, when attached
    QString detalhe; // the file the server did not find, or the server's own text (bounded)
};

// Where a "Database" value points: the host (empty for a local path), the port or service as
// written ("3050" when none is given) and the path on the server.
struct EnderecoBanco {
    QString host;
    QString porta;
    QString caminho;
};
EnderecoBanco InterpretaDatabase(const QString& database);

// Reads the section `secao` of the file `arquivo` into `banco`. A cause when the check cannot
// go on: the file unreadable, the section or its "Database" missing, or the credentials.
std::optional<CausaBanco> LeBancoDbx(const QString& arquivo, const QString& secao, BancoDbx* banco);

// The first version text of an answer of isc_database_info to isc_info_firebird_version (the
// item, a 2-byte length, a count, then each text as 1-byte length + bytes); nothing when the
// answer is malformed or holds no text.
std::optional<QString> LeVersaoFirebird(QByteArrayView resposta);

// How an attach authenticates: as the client library is configured (the modules' way), or only
// with the SRP plugins and with wire encryption required, whatever the client's configuration
// says, so that a host that merely pretends to be a Firebird server learns no password and no
// password hash (Legacy_Auth would send one).
enum class Autenticacao { DoCliente, SrpCifrada };

// Attaches to the database with the client library `biblioteca` and a connect time-out of
// `tempoLimiteS` seconds, asks the server's version and detaches. Blocks: run it off the
// interface thread.
ResultadoBanco AnexaBanco(const BancoDbx& banco, const QString& biblioteca, int tempoLimiteS,
                          Autenticacao autenticacao = Autenticacao::DoCliente);

// Runs AnexaBanco on a thread of its own and hands the result to `aoTerminar` on the thread of
// `contexto`; nothing is handed over when `contexto` is gone by then. A thread still running
// when the program ends is waited for (the time-out bounds it).
void VerificaBancoEmSegundoPlano(const BancoDbx& banco, const QString& biblioteca, int tempoLimiteS,
                                 QObject* contexto,
                                 std::function<void(const ResultadoBanco&)> aoTerminar);

// How many of those checks are not over yet: over is once the result has been handed over (or
// dropped with its context) and the thread is gone.
int VerificacoesBancoEmCurso();

// The lines of the ping form for a result: one line for the file's causes and for success;
// the cause and then the next step for a failure. All texts come from one table.
QStringList FormataLinhasBanco(const ResultadoBanco& resultado, const BancoDbx& banco,
                               const QString& secao);
