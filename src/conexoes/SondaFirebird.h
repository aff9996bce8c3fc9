#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

class QTcpSocket;

// Whether a Firebird server answers at an address and port: the first step of its protocol
// (ProtocoloFirebird), in the event loop, without blocking. Terminou comes once, at the latest
// tempoLimiteMs after Inicia, with at most ProtocoloFirebird::kMaximoResposta bytes read. A
// server that answered is left with op_disconnect and a clean close. The object deletes itself
// once its connection is closed (at the latest one time limit after Terminou); its owner may
// delete it before.
class SondaFirebird : public QObject {
    Q_OBJECT
public:
    SondaFirebird(const QHostAddress& endereco, quint16 porta, int tempoLimiteMs,
                  QObject* pai = nullptr);

    void Inicia();

Q_SIGNALS:
    // firebird: the answer is a Firebird server's; protocolo: the one it accepted, 0 when it
    // does not say; ms: from the start to the answer.
    void Terminou(bool firebird, int protocolo, qint64 ms);

private:
    void Le();
    void Conclui(bool firebird, int protocolo);
    void Fecha();

    const QHostAddress endereco_;
    const quint16 porta_;
    QTcpSocket* socket_;
    QTimer limite_;
    QElapsedTimer relogio_;
    QByteArray resposta_;
    bool concluida_ = false;
};
