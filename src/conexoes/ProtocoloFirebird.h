#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

// The first step of Firebird's wire protocol, as the network tree asks it of each machine: an
// op_connect that offers the protocols 10 to 18 and carries no credentials, and the reading of
// the answer. Every item is an XDR word (4 bytes, big-endian); a counted string is its length
// and its bytes padded to a whole word. From 11 on a protocol n travels as the sign-extended
// word 0xFFFF8000 | n; 10 travels as 10.
namespace ProtocoloFirebird {

inline constexpr quint32 op_connect = 1;
inline constexpr quint32 op_accept = 3;
inline constexpr quint32 op_reject = 4;
inline constexpr quint32 op_disconnect = 6;
inline constexpr quint32 op_response = 9;
inline constexpr quint32 op_attach = 19;
inline constexpr quint32 op_dummy = 71;
inline constexpr quint32 op_accept_data = 94;
inline constexpr quint32 op_cond_accept = 98;

inline constexpr int kMenorProtocolo = 10;
inline constexpr int kMaiorProtocolo = 18;
// An answer is decided within this many bytes: whatever has not shown itself to be Firebird's
// by then is not.
inline constexpr qsizetype kMaximoResposta = 128;

// The op_connect. Its user identification names the SRP plugins and a placeholder login (no
// user's name, no password, no key): without a login a Firebird 3 server answers with an
// error instead of the protocol it accepts.
QByteArray PedidoConexao();
// op_disconnect: what the client sends before it closes the connection.
QByteArray PedidoDesconexao();

struct Resposta {
    enum class Estado {
        Incompleta, // not decided yet: read on
        Firebird,   // a Firebird server's answer
        Outra,      // not one: anything else, or undecided within kMaximoResposta bytes
    };
    Estado estado = Estado::Incompleta;
    quint32 operacao = 0; // op_accept, op_accept_data, op_cond_accept, op_reject or op_response
    int protocolo = 0;    // the protocol accepted (10 to 18); 0 when the answer does not say
};

// Reads the bytes received so far, after any op_dummy: op_accept, op_accept_data and
// op_cond_accept with one of the protocols offered and their types, op_reject, or op_response
// carrying a Firebird status vector.
Resposta LeResposta(QByteArrayView bytes);

// The oldest Firebird that speaks the protocol, as client drivers document it: "Firebird 3.0
// ou mais novo" for 13 to 15, "Firebird 4.0 ou mais novo" for 16 and 17, "Firebird 5.0 ou mais
// novo" for 18...; empty outside 10 to 18.
QString Versao(int protocolo);

// The tooltip of a machine whose Firebird port answered as a Firebird server does:
// "Servidor Firebird 3.0 ou mais novo (porta 3050) respondeu em 2 ms" ("Servidor Firebird
// (porta 3050)..." when the answer does not name the protocol; "<1 ms" below a millisecond).
QString DicaServidor(int protocolo, qint64 ms);

} // namespace ProtocoloFirebird
