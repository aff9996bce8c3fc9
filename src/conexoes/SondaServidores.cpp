#include "conexoes/SondaServidores.h"

#include "conexoes/SondaFirebird.h"
#include "conexoes/SondaPorta.h"

#include <QDeadlineTimer>
#include <QNetworkInterface>
#include <QThread>
#include <map>

namespace {

// Lives on the prober's thread: a queue in ticket order, at most kEmVoo tries at once.
class Trabalhador : public QObject {
    Q_OBJECT
public:
    void Pede(quint64 bilhete, const QHostAddress& endereco) {
        fila_.insert_or_assign(bilhete, endereco);
        Despacha();
    }
    void Desiste(quint64 bilhete) { fila_.erase(bilhete); }

Q_SIGNALS:
    void Respondeu(quint64 bilhete, bool firebird, int protocolo, qint64 ms);

private:
    // The interfaces' networks, read again when older than a few seconds.
    const QList<std::pair<QHostAddress, int>>& Redes() {
        if (validade_.hasExpired()) {
            redes_ = SondaServidores::RedesLocais();
            validade_.setRemainingTime(5000);
        }
        return redes_;
    }

    void Despacha() {
        while (emVoo_ < SondaServidores::kEmVoo && !fila_.empty()) {
            const quint64 bilhete = fila_.begin()->first;
            const QHostAddress endereco = fila_.begin()->second;
            fila_.erase(fila_.begin());
            if (!SondaServidores::Aceitavel(endereco, Redes())) {
                Q_EMIT Respondeu(bilhete, false, 0, 0);
                continue;
            }
            // The probe deletes itself once its connection is closed.
            auto* sonda =
                new SondaFirebird(endereco, kPortaFirebird, SondaServidores::kTempoLimiteMs, this);
            connect(sonda, &SondaFirebird::Terminou, this,
                    [this, bilhete](bool firebird, int protocolo, qint64 ms) {
                        --emVoo_;
                        Q_EMIT Respondeu(bilhete, firebird, protocolo, ms);
                        Despacha();
                    });
            ++emVoo_;
            sonda->Inicia();
        }
    }

    std::map<quint64, QHostAddress> fila_;
    int emVoo_ = 0;
    QList<std::pair<QHostAddress, int>> redes_;
    QDeadlineTimer validade_{0};
};

} // namespace

SondaServidores::SondaServidores(QObject* pai)
    : QObject(pai), thread_(new QThread(this)), trabalhador_(new Trabalhador) {
    trabalhador_->moveToThread(thread_);
    connect(thread_, &QThread::finished, trabalhador_, &QObject::deleteLater);
    connect(static_cast<Trabalhador*>(trabalhador_), &Trabalhador::Respondeu, this,
            &SondaServidores::Respondeu);
    thread_->setObjectName(QStringLiteral("sonda de servidores"));
    thread_->start();
}

SondaServidores::~SondaServidores() {
    // The sockets only close: the thread ends at once (probes still closing are aborted).
    thread_->quit();
    thread_->wait();
}

void SondaServidores::Pede(quint64 bilhete, const QHostAddress& endereco) {
    auto* t = static_cast<Trabalhador*>(trabalhador_);
    QMetaObject::invokeMethod(t, [t, bilhete, endereco] { t->Pede(bilhete, endereco); });
}

void SondaServidores::Desiste(quint64 bilhete) {
    auto* t = static_cast<Trabalhador*>(trabalhador_);
    QMetaObject::invokeMethod(t, [t, bilhete] { t->Desiste(bilhete); });
}

QList<std::pair<QHostAddress, int>> SondaServidores::RedesLocais() {
    QList<std::pair<QHostAddress, int>> redes;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        if (!(i.flags() & QNetworkInterface::IsUp) || (i.flags() & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& e : i.addressEntries())
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol)
                redes.append({e.ip(), e.prefixLength()});
    }
    return redes;
}

bool SondaServidores::Aceitavel(const QHostAddress& endereco,
                                const QList<std::pair<QHostAddress, int>>& redes) {
    if (endereco.protocol() != QAbstractSocket::IPv4Protocol || endereco.isLoopback() ||
        endereco.isMulticast() || endereco.isBroadcast())
        return false;
    const quint32 ip = endereco.toIPv4Address();
    bool naRede = false;
    for (const auto& [rede, prefixo] : redes) {
        if (prefixo <= 0 || prefixo >= 32 || !endereco.isInSubnet(rede, prefixo))
            continue;
        // The address of one of our networks, or its directed broadcast, names no host (a /31
        // has neither: both its addresses are hosts).
        const quint32 hosts = ~quint32(0) >> prefixo;
        if (prefixo < 31 && ((ip & hosts) == 0 || (ip & hosts) == hosts))
            return false;
        naRede = true;
    }
    return naRede;
}

#include "SondaServidores.moc"
