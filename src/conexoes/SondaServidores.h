#pragma once

#include <QHostAddress>
#include <QObject>

class QThread;

// Which machines of the network answer as Firebird servers on the Firebird port (SondaFirebird).
// Each address asked is tried once, a few at a time, on a thread of its own; the answer comes
// back on the asker's thread. Only a host's IPv4 address on a network of this machine's own
// interfaces is tried (never loopback, multicast, a network's own or broadcast address, never
// another network: what a host announces does not choose where we connect).
class SondaServidores : public QObject {
    Q_OBJECT
public:
    explicit SondaServidores(QObject* pai = nullptr);
    // Stops the thread; tries under way are dropped.
    ~SondaServidores() override;

    static constexpr int kEmVoo = 8;
    static constexpr int kTempoLimiteMs = 1000;

    // Tries `endereco` for the caller's `bilhete`; a ticket dropped before its turn is not
    // tried.
    void Pede(quint64 bilhete, const QHostAddress& endereco);
    void Desiste(quint64 bilhete);

    // Whether `endereco` may be tried, given the networks of this machine's interfaces.
    static bool Aceitavel(const QHostAddress& endereco,
                          const QList<std::pair<QHostAddress, int>>& redes);
    // The IPv4 networks (address, prefix) of this machine's interfaces that are up, loopback
    // left out.
    static QList<std::pair<QHostAddress, int>> RedesLocais();

Q_SIGNALS:
    // Once per ticket tried: whether a Firebird server answered, the protocol it accepted (0
    // when not said) and in how many ms.
    void Respondeu(quint64 bilhete, bool firebird, int protocolo, qint64 ms);

private:
    QThread* thread_;
    QObject* trabalhador_;
};
