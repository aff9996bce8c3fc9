#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringList>
#include <optional>

// Parameter blocks and answers of the Firebird Services API, built and read byte by byte.
// Lengths and numbers are little-endian on the wire whatever the machine. Nothing here talks
// to a server: these functions only turn values into bytes and bytes into values, and every
// answer is read within its bounds (a short or malformed answer gives no value, never a read
// past its end).

// One user record of the security database as isc_action_svc_display_user lists it.
struct UsuarioFirebird {
    QByteArray UserName;
    QByteArray FirstName;
    QByteArray MiddleName;
    QByteArray LastName;
    QByteArray GroupName;
    qint32 UserID = 0;
    qint32 GroupID = 0;
    qint32 Admin = 0;

    friend bool operator==(const UsuarioFirebird&, const UsuarioFirebird&) = default;
};

// The attach block: version bytes, then each parameter as tag + 1-byte length + bytes.
// `parametros` holds "name=value" lines; the names known are user_name and password (any
// letter case, blanks around the name ignored); an empty line is skipped. A connection time
// limit above zero adds isc_spb_connect_timeout (seconds). No value: an unknown name, a line
// without "=", or a value longer than 255 bytes (Windows-1252).
std::optional<QByteArray> MontaBlocoAnexacao(const QStringList& parametros, int tempoLimiteConexao);

// The start block that asks for the list of users.
QByteArray MontaPedidoExibeUsuarios();

// The start block that adds `usuario` with `senha`: the action byte, then user name, user id,
// group id, password, first, middle and last name, in this order; text items as tag + 2-byte
// length + bytes, numbers as tag + 4-byte value; a text item whose value is empty is left out.
// No value when a text or the whole block is longer than 65535 bytes.
std::optional<QByteArray> MontaPedidoIncluiUsuario(const UsuarioFirebird& usuario,
                                                   QByteArrayView senha);

// What one answer to the query of isc_info_svc_get_users said.
enum class PedacoUsuarios {
    Dados,     // a piece of the list (appended to the caller's buffer)
    Fim,       // an empty piece on its own: the list is complete
    NaoPronto, // nothing that fits yet (isc_info_data_not_ready); ask again
};

// Reads one answer (`resposta` is the whole answer buffer) and appends the piece of the list
// it holds to `dados`. No value when the answer is malformed: an unknown or truncated item,
// isc_info_truncated, a piece running past the buffer, or no isc_info_end.
std::optional<PedacoUsuarios> LeRespostaUsuarios(QByteArrayView resposta, QByteArray& dados);

// Splits the joined pieces into user records; each record starts at its user name. No value
// when an item is unknown or cut short, or an item comes before the first user name.
std::optional<QList<UsuarioFirebird>> InterpretaUsuarios(QByteArrayView dados);

// The position of the first user whose name, upper-cased (ASCII letters only), equals `nome`
// (given in upper case); -1 when none does.
qsizetype ProcuraUsuario(const QList<UsuarioFirebird>& usuarios, QByteArrayView nome);

// Reads the answer to isc_info_svc_running: true while the service's action is still running.
// No value when the answer is malformed.
std::optional<bool> LeRespostaServicoAtivo(QByteArrayView resposta);
