#pragma once

#include <QHash>
#include <QList>
#include <QNetworkInterface>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

class QNetworkAccessManager;
class QUdpSocket;

// A WS-Discovery client for the computers of the local network, as Windows machines (and
// wsdd) announce them: a Probe for devices on 239.255.255.250:3702 from every IPv4
// interface, a Resolve for the answers that come without an address, then the device's
// metadata over HTTP, whose host section names the computer and its workgroup or domain
// ("NAME/Workgroup:GROUP"). Hello and Bye announcements keep the list current, and the probe
// goes out again every half minute. Everything is asynchronous, on the thread that owns the
// object.
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

    // The parts of a discovery message that matter here, read in one pass; none for what is
    // not well-formed XML, has no action or nests deeper than any discovery message does.
    struct Mensagem {
        QString acao;
        QString id;
        QString endpoint;
        QString tipos;
        QString xaddrs;
    };
    static std::optional<Mensagem> LeMensagem(const QByteArray& bytes);

    // Metadata requests at most in flight at once; the others wait in a queue of bounded size.
    static constexpr int kPedidosEmVoo = 4;
    static constexpr qsizetype kPedidosNaFila = 256;

    // A round of probes every half minute. The answers come by unicast to the probe's port,
    // which Windows' firewall lets in only for about 3 s after a multicast leaves it, so each
    // round sends its probe several times within a second from the sockets that stay open.
    static constexpr int kIntervaloRodadas = 30000;
    static constexpr int kEnviosPorRodada = 3;
    static constexpr int kEspacoEnvios = 450; // ms between two sends of a round's probe
    // Test seam: rounds every `ms` instead (0: kIntervaloRodadas again), for objects made later.
    static void DefineIntervaloRodadas(int ms);
    // Sightings whose metadata was read, remembered (the oldest forgotten first): seen again,
    // they need no more requests.
    static constexpr qsizetype kLembrados = 4096;

Q_SIGNALS:
    // `chave` identifies the sighting: the device's endpoint, the address it spoke from and the
    // interface it was seen on ("endpoint|address|interface"); `origem` is that address.
    void Visto(const QString& chave, const QString& nome, const QString& grupo,
               const QHostAddress& origem);
    // Every sighting whose key begins with this prefix is gone (the device said Bye from the
    // address it was seen at: "endpoint|address|").
    void Perdido(const QString& prefixoChave);

private:
    struct Interface {
        QNetworkInterface interface;
        QList<QNetworkAddressEntry> redes; // its IPv4 networks
        QUdpSocket* socket = nullptr;
    };
    struct Pedido {
        QString chave;
        QString endpoint;
        QUrl url;
        QHostAddress origem;
    };
    void EnviaSondas();
    QString Chave(const QString& endpoint, const QHostAddress& origem, int indice) const;
    void Lembra(const QString& chave, const Computador& c);
    void Recebe(QUdpSocket* socket, int indice);
    int InterfaceDe(const QHostAddress& origem, int indice) const;
    void Trata(const QByteArray& dados, const QHostAddress& origem, int indice);
    void Envia(int indice, const QByteArray& mensagem);
    void BuscaMetadados(const QString& endpoint, const QString& xaddrs, const QHostAddress& origem,
                        int indice);
    void Despacha();
    void Pede(const Pedido& p);

    QList<Interface> interfaces_;
    QUdpSocket* anuncios_ = nullptr; // Hello and Bye, on port 3702
    QNetworkAccessManager* http_ = nullptr;
    QByteArray recebido_; // one datagram at a time, and a byte more to tell an oversized one
    QSet<QString> mensagensVistas_;
    QStringList ordemMensagens_;
    QList<Pedido> fila_;
    QSet<QString> pedidos_; // metadata queued or asked and not answered yet, per sighting
    int emVoo_ = 0;
    QHash<QString, int> tentativas_; // failed metadata requests, per sighting
    bool filaCheiaDito_ = false;
    QByteArray sonda_; // this round's probe, sent again as it is
    int enviosRestantes_ = 0;
    QHash<QString, Computador> lidos_; // by sighting
    QStringList ordemLidos_;
};

// Whether a datagram reads as a discovery message with an action: the receive loop's parser on
// its own, for the fuzz target.
bool LeMensagemDescoberta(const QByteArray& bytes);
