#include "conexoes/SondaPorta.h"

#include <QTcpSocket>

SondaPorta::SondaPorta(QString host, quint16 porta, int tempoLimiteMs, QObject* pai)
    : QObject(pai), host_(std::move(host)), porta_(porta), socket_(new QTcpSocket(this)) {
    limite_.setSingleShot(true);
    limite_.setInterval(tempoLimiteMs);
    connect(&limite_, &QTimer::timeout, this, [this] { Conclui(Resultado::SemResposta); });
    connect(socket_, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState s) {
        // The time limit counts from the connection attempt, after the name lookup.
        if (s == QAbstractSocket::ConnectingState && !limite_.isActive()) {
            relogio_.start();
            limite_.start();
        }
    });
    connect(socket_, &QTcpSocket::connected, this, [this] { Conclui(Resultado::Aceita); });
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        switch (e) {
        case QAbstractSocket::HostNotFoundError:
            Conclui(Resultado::HostDesconhecido);
            break;
        case QAbstractSocket::ConnectionRefusedError:
            Conclui(Resultado::Recusada);
            break;
        default:
            Conclui(Resultado::Falhou);
            break;
        }
    });
}

void SondaPorta::Inicia() {
    // IPv4, as the ping resolves the host.
    socket_->connectToHost(host_, porta_, QIODevice::ReadWrite, QAbstractSocket::IPv4Protocol);
}

void SondaPorta::Conclui(Resultado resultado) {
    if (concluida_)
        return;
    concluida_ = true;
    limite_.stop();
    const qint64 ms = relogio_.isValid() ? relogio_.elapsed() : 0;
    socket_->abort();
    Q_EMIT Terminou(resultado, resultado == Resultado::SemResposta ? limite_.interval() : ms);
}

QString FormataLinhaPorta(const QString& host, quint16 porta, SondaPorta::Resultado resultado,
                          qint64 ms) {
    QString estado;
    switch (resultado) {
    case SondaPorta::Resultado::HostDesconhecido:
        return {};
    case SondaPorta::Resultado::Aceita:
        estado = QStringLiteral("aceita conexão");
        break;
    case SondaPorta::Resultado::Recusada:
        estado = QStringLiteral("conexão recusada");
        break;
    case SondaPorta::Resultado::Falhou:
        estado = QStringLiteral("não aceita conexão");
        break;
    case SondaPorta::Resultado::SemResposta:
        estado = QStringLiteral("sem resposta");
        break;
    }
    return QStringLiteral("Porta %1 (Firebird) em %2: %3 em %4 ms")
        .arg(porta)
        .arg(host, estado, ms > 0 ? QString::number(ms) : QStringLiteral("<1"));
}
