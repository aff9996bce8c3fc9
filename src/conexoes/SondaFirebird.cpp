#include "conexoes/SondaFirebird.h"

#include "conexoes/ProtocoloFirebird.h"

#include <QTcpSocket>

SondaFirebird::SondaFirebird(const QHostAddress& endereco, quint16 porta, int tempoLimiteMs,
                             QObject* pai)
    : QObject(pai), endereco_(endereco), porta_(porta), socket_(new QTcpSocket(this)) {
    limite_.setSingleShot(true);
    limite_.setInterval(tempoLimiteMs);
    connect(&limite_, &QTimer::timeout, this, [this] {
        if (!concluida_) {
            Conclui(false, 0);
            return;
        }
        // The close did not finish within a second time limit: drop the connection.
        socket_->abort();
        deleteLater();
    });
    connect(socket_, &QTcpSocket::connected, this,
            [this] { socket_->write(ProtocoloFirebird::PedidoConexao()); });
    connect(socket_, &QTcpSocket::readyRead, this, &SondaFirebird::Le);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (!concluida_)
            Conclui(false, 0);
    });
    connect(socket_, &QTcpSocket::disconnected, this, [this] {
        if (!concluida_)
            Conclui(false, 0);
        else
            deleteLater();
    });
}

void SondaFirebird::Inicia() {
    relogio_.start();
    limite_.start();
    socket_->connectToHost(endereco_, porta_);
}

void SondaFirebird::Le() {
    if (concluida_) {
        socket_->readAll(); // after the answer: nothing more is looked at
        return;
    }
    resposta_ += socket_->read(ProtocoloFirebird::kMaximoResposta - resposta_.size());
    const ProtocoloFirebird::Resposta r = ProtocoloFirebird::LeResposta(resposta_);
    if (r.estado == ProtocoloFirebird::Resposta::Estado::Firebird)
        Conclui(true, r.protocolo);
    else if (r.estado == ProtocoloFirebird::Resposta::Estado::Outra)
        Conclui(false, 0);
}

void SondaFirebird::Conclui(bool firebird, int protocolo) {
    concluida_ = true;
    const qint64 ms = relogio_.elapsed();
    if (firebird)
        socket_->write(ProtocoloFirebird::PedidoDesconexao());
    Fecha();
    Q_EMIT Terminou(firebird, protocolo, ms);
}

void SondaFirebird::Fecha() {
    if (socket_->state() == QAbstractSocket::ConnectedState) {
        // What was written goes out, then the connection closes; within one more time limit.
        limite_.start();
        socket_->disconnectFromHost();
        if (socket_->state() != QAbstractSocket::UnconnectedState)
            return;
    } else {
        socket_->abort();
    }
    limite_.stop();
    deleteLater();
}
