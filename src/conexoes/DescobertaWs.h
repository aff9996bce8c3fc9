#pragma once

#include <QHash>
#include <QList>
#include <QNetworkInterface>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

class QNetworkAccessManager;
class QUdpSocket;

// A WS-Discovery client for the computers of the local network, as Windows machines (and
// wsdd) announce them: a Probe for devices on 239.255.255.250:3702 from every IPv4
// interface, a Resolve for the answers that come without an address, then the device's
// metadata over HTTP, whose host section names the computer and its workgroup or domain
// ("NAME/Workgroup:GROUP"). Hello and Bye announcements keep the list current. Everything is
// asynchronous, on the thread that owns the object.
class DescobertaWs : public QObject {
    Q_OBJECT
public:
    explicit DescobertaWs(QObject* pai = nullptr);
    ~DescobertaWs() override;

    // Opens the sockets and sends the probes. Sockets that cannot be opened are logged and left
    // out.
    void Inicia();

    // What a metadata answer says of its host: the computer's name and its workgroup or domain.
    struct Computador {
        QString nome;
        QString grupo;
    };
    static std::optional<Computador> LeComputador(const QByteArray& metadados);

Q_SIGNALS:
    // `chave` identifies the sighting (the device's endpoint and the interface it was seen on).
    void Visto(const QString& chave, const QString& nome, const QString& grupo);
    // Every sighting whose key begins with this prefix is gone (the device said Bye).
    void Perdido(const QString& prefixoChave);

private:
    struct Interface {
        QNetworkInterface interface;
        QHostAddress endereco;
        QUdpSocket* socket = nullptr;
    };
    void Recebe(QUdpSocket* socket, int indice);
    void Envia(int indice, const QByteArray& mensagem);
    void BuscaMetadados(const QString& endpoint, const QString& xaddrs, int indice);

    QList<Interface> interfaces_;
    QUdpSocket* anuncios_ = nullptr; // Hello and Bye, on port 3702
    QNetworkAccessManager* http_ = nullptr;
    QSet<QString> mensagensVistas_;
    QStringList ordemMensagens_;
    QSet<QString> pedidos_; // metadata asked and not answered yet, per endpoint and interface
    QHash<QString, int> tentativas_; // failed metadata requests, per endpoint and interface
};

// Whether a datagram reads as a discovery message with an action: the receive loop's parser on
// its own, for the fuzz target.
bool LeMensagemDescoberta(const QByteArray& bytes);
