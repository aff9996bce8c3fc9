// The machines of the local network on Linux: those that announce themselves over mDNS, seen
// through the avahi daemon, and the Windows machines, found by WS-Discovery. The avahi client
// runs on a thread of its own (avahi's threaded poll): its calls are D-Bus round trips that a
// hung daemon can hold for many seconds, and the window never waits for them. What it sees
// reaches the window's thread as a queue of events, taken in batches.
#include "conexoes/DescobertaWs.h"
#include "conexoes/NavegadorRede.h"

#include <QHash>
#include <QLoggingCategory>
#include <QPointer>
#include <QtEndian>
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/thread-watch.h>
#include <avahi-common/timeval.h>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

Q_LOGGING_CATEGORY(lcMdns, "gerenciador.rede.mdns")

namespace {

// What the avahi thread tells the window's thread.
struct Evento {
    enum Tipo { Avista, Perde, PerdeTodos } tipo;
    QString chave;
    QString nome;
    QString grupo;
    QHostAddress endereco;
};

// The events on their way. The avahi thread puts them in and asks the receiver to come and
// take them (one request while some wait); the receiver takes a batch per turn of its event
// loop. Once the receiver is gone, nothing more is put in.
struct Caixa {
    std::mutex trava;
    QObject* alvo = nullptr;
    std::function<void()> drena; // runs on the receiver's thread
    std::deque<Evento> fila;
    bool pedido = false;

    void Poe(Evento e) {
        const std::lock_guard<std::mutex> t(trava);
        if (!alvo)
            return;
        fila.push_back(std::move(e));
        if (!pedido) {
            pedido = true;
            QMetaObject::invokeMethod(alvo, drena, Qt::QueuedConnection);
        }
    }
};

// The avahi client and what it made, on the threaded poll's thread: everything here runs in
// avahi's callbacks (with the poll's lock held), except the constructor and the destructor,
// which run while that thread is not running.
class ClienteAvahi {
public:
    explicit ClienteAvahi(std::shared_ptr<Caixa> caixa) : caixa_(std::move(caixa)) {}
    ~ClienteAvahi() {
        Libera(false);
        if (poll_)
            avahi_threaded_poll_free(poll_);
    }

    bool Inicia() {
        poll_ = avahi_threaded_poll_new();
        if (!poll_)
            return false;
        // The client is made on the poll's thread, in its first turn.
        Agenda(0);
        return avahi_threaded_poll_start(poll_) == 0;
    }
    // Stops the poll's thread (it may be inside a call to a hung daemon: never call this on the
    // window's thread).
    void Para() {
        if (poll_)
            avahi_threaded_poll_stop(poll_);
    }

private:
    static constexpr const char* kTipos[] = {"_workstation._tcp", "_smb._tcp"};
    static constexpr int kEsperaSemBarramento = 5000; // ms before trying a missing bus again
    // Resolvers at most at once: the daemon refuses objects past its per-client limit (1024 by
    // default), and a refused resolver would lose its machine.
    static constexpr int kResolvendo = 64;
    static constexpr int kEsperaMinima = 2000; // ms before resolving again what failed, doubling
    static constexpr int kEsperaMaxima = 60000;

    // A service the browsers reported, until they report it gone.
    struct Servico {
        AvahiIfIndex interface;
        AvahiProtocol protocolo;
        QByteArray nome;
        QByteArray tipo;
        QByteArray dominio;
        AvahiServiceResolver* resolvedor = nullptr;
        bool espera = false; // to be resolved again at `quando`
        std::chrono::steady_clock::time_point quando;
        int intervalo = 0;
        bool falhaDita = false;
        bool resolvido = false;
    };

    // The poll's timeouts belong to it (it frees them with itself): one to make the client
    // again, one to resolve again what failed.
    void Agenda(int ms) {
        const AvahiPoll* api = avahi_threaded_poll_get(poll_);
        timeval quando;
        avahi_elapse_time(&quando, unsigned(ms), 0);
        if (conexao_)
            api->timeout_update(conexao_, &quando);
        else
            conexao_ = api->timeout_new(
                api, &quando,
                [](AvahiTimeout* t, void* dados) {
                    avahi_threaded_poll_get(static_cast<ClienteAvahi*>(dados)->poll_)
                        ->timeout_update(t, nullptr);
                    static_cast<ClienteAvahi*>(dados)->Conecta();
                },
                this);
    }

    void Conecta() {
        reconectando_ = false;
        Libera(true);
        int erro = 0;
        cliente_ = avahi_client_new(avahi_threaded_poll_get(poll_), AVAHI_CLIENT_NO_FAIL,
                                    &ClienteAvahi::ClienteMudou, this, &erro);
        if (!cliente_) {
            // No system bus at all: try again later, saying so once.
            if (!semBarramentoDito_)
                qCInfo(lcMdns) << "no avahi client:" << avahi_strerror(erro);
            semBarramentoDito_ = true;
            Agenda(kEsperaSemBarramento);
        }
    }

    // Frees the client and everything made through it; with `avisa`, the machines seen
    // through it go from the list.
    void Libera(bool avisa) {
        servicos_.clear();
        aResolver_.clear();
        resolvendo_ = 0;
        if (cliente_)
            avahi_client_free(cliente_); // frees its browsers and resolvers too
        cliente_ = nullptr;
        navegadores_ = 0;
        if (avisa)
            caixa_->Poe({Evento::PerdeTodos, QStringLiteral("mdns:"), {}, {}});
    }

    static void ClienteMudou(AvahiClient* c, AvahiClientState estado, void* dados) {
        auto* self = static_cast<ClienteAvahi*>(dados);
        switch (estado) {
        case AVAHI_CLIENT_S_RUNNING:
        case AVAHI_CLIENT_S_REGISTERING:
            if (self->navegadores_ == 0)
                self->CriaNavegadores(c);
            break;
        case AVAHI_CLIENT_CONNECTING:
            qCInfo(lcMdns) << "waiting for the avahi daemon";
            break;
        case AVAHI_CLIENT_FAILURE:
            // The daemon went away (a restart, say). The client does not come back by itself:
            // make a new one, outside this callback.
            qCInfo(lcMdns) << "avahi client failed:" << avahi_strerror(avahi_client_errno(c));
            if (self->reconectando_)
                break;
            self->reconectando_ = true;
            self->Agenda(avahi_client_errno(c) == AVAHI_ERR_DISCONNECTED ? 0 : 1000);
            break;
        default:
            break;
        }
    }

    void CriaNavegadores(AvahiClient* c) {
        for (const char* tipo : kTipos) {
            if (avahi_service_browser_new(c, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, tipo, nullptr,
                                          AvahiLookupFlags(0), &ClienteAvahi::Navegou, this))
                ++navegadores_;
            else
                qCInfo(lcMdns) << "no browser for" << tipo << avahi_strerror(avahi_client_errno(c));
        }
    }

    static QString Chave(AvahiIfIndex interface, AvahiProtocol protocolo, const char* nome,
                         const char* tipo, const char* dominio) {
        return QStringLiteral("mdns:%1:%2:%3:%4:%5")
            .arg(interface)
            .arg(protocolo)
            .arg(QString::fromUtf8(tipo), QString::fromUtf8(dominio), QString::fromUtf8(nome));
    }

    static void Navegou(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocolo,
                        AvahiBrowserEvent evento, const char* nome, const char* tipo,
                        const char* dominio, AvahiLookupResultFlags, void* dados) {
        auto* self = static_cast<ClienteAvahi*>(dados);
        switch (evento) {
        case AVAHI_BROWSER_NEW: {
            const QString chave = Chave(interface, protocolo, nome, tipo, dominio);
            if (self->servicos_.contains(chave))
                break;
            self->servicos_.insert(chave, Servico{interface, protocolo, nome, tipo, dominio});
            self->aResolver_.push_back(chave);
            self->Resolve();
            break;
        }
        case AVAHI_BROWSER_REMOVE: {
            const QString chave = Chave(interface, protocolo, nome, tipo, dominio);
            const auto s = self->servicos_.find(chave);
            if (s == self->servicos_.end())
                break;
            if (s->resolvedor) {
                avahi_service_resolver_free(s->resolvedor);
                --self->resolvendo_;
            }
            const bool visto = s->resolvido;
            self->servicos_.erase(s);
            if (visto)
                self->caixa_->Poe({Evento::Perde, chave, {}, {}});
            self->Resolve();
            break;
        }
        case AVAHI_BROWSER_FAILURE:
            qCInfo(lcMdns) << "browser failed:"
                           << avahi_strerror(avahi_client_errno(self->cliente_));
            break;
        default:
            break;
        }
    }

    // Starts resolvers for the services waiting, up to the limit.
    void Resolve() {
        while (resolvendo_ < kResolvendo && !aResolver_.empty()) {
            const QString chave = aResolver_.front();
            aResolver_.pop_front();
            const auto s = servicos_.find(chave);
            if (s == servicos_.end() || s->resolvedor || s->espera)
                continue;
            s->resolvedor = avahi_service_resolver_new(
                cliente_, s->interface, s->protocolo, s->nome.constData(), s->tipo.constData(),
                s->dominio.constData(), AVAHI_PROTO_UNSPEC, AvahiLookupFlags(0),
                &ClienteAvahi::Resolvido, this);
            if (s->resolvedor)
                ++resolvendo_;
            else
                Falhou(chave, *s, avahi_strerror(avahi_client_errno(cliente_)));
        }
    }

    // A service that could not be resolved: said once, tried again later, less and less often.
    void Falhou(const QString& chave, Servico& s, const char* erro) {
        if (!s.falhaDita)
            qCInfo(lcMdns) << "not resolved, trying again later:" << chave << erro;
        s.falhaDita = true;
        s.intervalo = qBound(kEsperaMinima, s.intervalo * 2, kEsperaMaxima);
        s.espera = true;
        s.quando = std::chrono::steady_clock::now() + std::chrono::milliseconds(s.intervalo);
        if (reensaio_)
            return;
        const AvahiPoll* api = avahi_threaded_poll_get(poll_);
        timeval quando;
        avahi_elapse_time(&quando, kEsperaMinima / 2, 0);
        reensaio_ = api->timeout_new(api, &quando, &ClienteAvahi::Reensaia, this);
    }

    // Once a second while some service waits: those whose time came are resolved again.
    static void Reensaia(AvahiTimeout* t, void* dados) {
        auto* self = static_cast<ClienteAvahi*>(dados);
        const auto agora = std::chrono::steady_clock::now();
        bool esperando = false;
        for (auto s = self->servicos_.begin(); s != self->servicos_.end(); ++s) {
            if (s->espera && s->quando <= agora) {
                s->espera = false;
                self->aResolver_.push_back(s.key());
            }
            esperando = esperando || s->espera;
        }
        const AvahiPoll* api = avahi_threaded_poll_get(self->poll_);
        timeval quando;
        avahi_elapse_time(&quando, kEsperaMinima / 2, 0);
        if (esperando) {
            api->timeout_update(t, &quando);
        } else {
            api->timeout_free(t);
            self->reensaio_ = nullptr;
        }
        self->Resolve();
    }

    static void Resolvido(AvahiServiceResolver* r, AvahiIfIndex interface, AvahiProtocol protocolo,
                          AvahiResolverEvent evento, const char* nome, const char* tipo,
                          const char* dominio, const char* host, const AvahiAddress* endereco,
                          uint16_t, AvahiStringList*, AvahiLookupResultFlags, void* dados) {
        auto* self = static_cast<ClienteAvahi*>(dados);
        const QString chave = Chave(interface, protocolo, nome, tipo, dominio);
        const auto s = self->servicos_.find(chave);
        avahi_service_resolver_free(r);
        --self->resolvendo_;
        if (s == self->servicos_.end() || s->resolvedor != r) {
            self->Resolve();
            return;
        }
        s->resolvedor = nullptr;
        if (evento == AVAHI_RESOLVER_FOUND && host) {
            // The machine's name: its host name without the domain (maquina-b.local).
            s->resolvido = true;
            s->intervalo = 0;
            QHostAddress ip;
            if (endereco && endereco->proto == AVAHI_PROTO_INET)
                ip.setAddress(qFromBigEndian(endereco->data.ipv4.address));
            self->caixa_->Poe({Evento::Avista, chave, QString::fromUtf8(host).section(u'.', 0, 0),
                               QString::fromUtf8(dominio), ip});
        } else {
            self->Falhou(chave, *s, avahi_strerror(avahi_client_errno(self->cliente_)));
        }
        self->Resolve();
    }

    std::shared_ptr<Caixa> caixa_;
    AvahiThreadedPoll* poll_ = nullptr;
    AvahiClient* cliente_ = nullptr;
    int navegadores_ = 0;
    QHash<QString, Servico> servicos_;
    std::deque<QString> aResolver_;
    int resolvendo_ = 0;
    AvahiTimeout* conexao_ = nullptr;
    AvahiTimeout* reensaio_ = nullptr;
    bool reconectando_ = false;
    bool semBarramentoDito_ = false;
};

// The window's side of the avahi client: takes the events to the list, a batch per turn of the
// event loop; on its end, the client is stopped and freed on a thread of its own.
class NavegadorAvahi : public QObject {
public:
    explicit NavegadorAvahi(NavegadorRede* rede) : QObject(rede), rede_(rede) {}
    ~NavegadorAvahi() override {
        if (!cliente_)
            return;
        {
            const std::lock_guard<std::mutex> t(caixa_->trava);
            caixa_->alvo = nullptr;
        }
        std::thread([cliente = cliente_.release()] {
            cliente->Para();
            delete cliente;
        }).detach();
    }

    void Inicia() {
        caixa_->alvo = this;
        caixa_->drena = [this] { Drena(); };
        cliente_ = std::make_unique<ClienteAvahi>(caixa_);
        if (!cliente_->Inicia())
            qCInfo(lcMdns) << "no thread for the avahi client";
    }

private:
    static constexpr int kEventosPorVez = 25;

    void Drena() {
        std::vector<Evento> lote;
        {
            const std::lock_guard<std::mutex> t(caixa_->trava);
            while (!caixa_->fila.empty() && int(lote.size()) < kEventosPorVez) {
                lote.push_back(std::move(caixa_->fila.front()));
                caixa_->fila.pop_front();
            }
            // More for the next turn: the window gets its own events in between.
            caixa_->pedido = !caixa_->fila.empty();
            if (caixa_->pedido)
                QMetaObject::invokeMethod(this, caixa_->drena, Qt::QueuedConnection);
        }
        for (const Evento& e : lote) {
            switch (e.tipo) {
            case Evento::Avista:
                rede_->Avista(e.chave, e.nome, e.grupo, NavegadorRede::kDominioNomes, e.endereco);
                break;
            case Evento::Perde:
                rede_->Perde(e.chave);
                break;
            case Evento::PerdeTodos:
                rede_->PerdeTodos(e.chave);
                break;
            }
        }
    }

    NavegadorRede* rede_;
    std::shared_ptr<Caixa> caixa_ = std::make_shared<Caixa>();
    std::unique_ptr<ClienteAvahi> cliente_;
};

class NavegadorRedeLinux : public NavegadorRede {
public:
    explicit NavegadorRedeLinux(QObject* pai) : NavegadorRede(pai) {}
    // The sources go first, while the list they report to still exists.
    ~NavegadorRedeLinux() override {
        delete avahi_;
        delete ws_;
    }

    void Inicia() override {
        if (avahi_)
            return;
        avahi_ = new NavegadorAvahi(this);
        avahi_->Inicia();
        ws_ = IniciaDescobertaWs();
    }

private:
    NavegadorAvahi* avahi_ = nullptr;
    DescobertaWs* ws_ = nullptr;
};

} // namespace

std::unique_ptr<NavegadorRede> CriaNavegadorRedePlataforma(QObject* pai) {
    return std::make_unique<NavegadorRedeLinux>(pai);
}
