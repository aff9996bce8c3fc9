// The machines of the local network on Linux: those that announce themselves over mDNS, seen
// through the avahi daemon (libavahi-client, run on Qt's event loop by a poll adapter of our
// own), and the Windows machines, found by WS-Discovery.
#include "conexoes/DescobertaWs.h"
#include "conexoes/NavegadorRede.h"

#include <QElapsedTimer>
#include <QHash>
#include <QLoggingCategory>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/timeval.h>
#include <avahi-common/watch.h>
#include <memory>

Q_LOGGING_CATEGORY(lcMdns, "gerenciador.rede.mdns")

// avahi's watch and timeout, as our adapter makes them. They are QObjects so that one freed
// from inside its own callback can be deleted later, once the callback has returned.
struct AvahiWatch : QObject {
    int fd = -1;
    AvahiWatchEvent ocorridos = AvahiWatchEvent(0);
    AvahiWatchCallback callback = nullptr;
    void* dados = nullptr;
    QSocketNotifier* leitura = nullptr;
    QSocketNotifier* escrita = nullptr;
    bool livre = false;
};

struct AvahiTimeout : QObject {
    QTimer timer;
    AvahiTimeoutCallback callback = nullptr;
    void* dados = nullptr;
    bool livre = false;
};

namespace {

// The AvahiPoll of Qt's event loop: file descriptors through QSocketNotifier, timeouts through
// single-shot QTimers. Watches and timeouts are children of the adapter, so that none outlives it.
class PollQt : public QObject {
public:
    PollQt() {
        api_.userdata = this;
        api_.watch_new = &PollQt::WatchNew;
        api_.watch_update = &PollQt::WatchUpdate;
        api_.watch_get_events = &PollQt::WatchGetEvents;
        api_.watch_free = &PollQt::WatchFree;
        api_.timeout_new = &PollQt::TimeoutNew;
        api_.timeout_update = &PollQt::TimeoutUpdate;
        api_.timeout_free = &PollQt::TimeoutFree;
    }
    const AvahiPoll* Api() const { return &api_; }

private:
    static void Dispara(AvahiWatch* w, AvahiWatchEvent evento) {
        if (w->livre)
            return;
        w->ocorridos = evento;
        w->callback(w, w->fd, evento, w->dados);
        if (!w->livre)
            w->ocorridos = AvahiWatchEvent(0);
    }
    static AvahiWatch* WatchNew(const AvahiPoll* api, int fd, AvahiWatchEvent eventos,
                                AvahiWatchCallback callback, void* dados) {
        auto* w = new AvahiWatch;
        w->setParent(static_cast<PollQt*>(api->userdata));
        w->fd = fd;
        w->callback = callback;
        w->dados = dados;
        w->leitura = new QSocketNotifier(fd, QSocketNotifier::Read, w);
        w->escrita = new QSocketNotifier(fd, QSocketNotifier::Write, w);
        QObject::connect(w->leitura, &QSocketNotifier::activated, w,
                         [w] { Dispara(w, AVAHI_WATCH_IN); });
        QObject::connect(w->escrita, &QSocketNotifier::activated, w,
                         [w] { Dispara(w, AVAHI_WATCH_OUT); });
        WatchUpdate(w, eventos);
        return w;
    }
    static void WatchUpdate(AvahiWatch* w, AvahiWatchEvent eventos) {
        w->leitura->setEnabled(eventos & AVAHI_WATCH_IN);
        w->escrita->setEnabled(eventos & AVAHI_WATCH_OUT);
    }
    static AvahiWatchEvent WatchGetEvents(AvahiWatch* w) { return w->ocorridos; }
    static void WatchFree(AvahiWatch* w) {
        w->livre = true;
        w->leitura->setEnabled(false);
        w->escrita->setEnabled(false);
        w->deleteLater();
    }
    static void Agenda(AvahiTimeout* t, const struct timeval* quando) {
        if (!quando) {
            t->timer.stop();
            return;
        }
        // avahi_age: microseconds since `quando`, negative while it is in the future.
        const AvahiUsec falta = -avahi_age(quando);
        const AvahiUsec ms = (falta + 999) / 1000;
        t->timer.start(int(std::clamp<AvahiUsec>(ms, 0, AvahiUsec(24) * 3600 * 1000)));
    }
    static AvahiTimeout* TimeoutNew(const AvahiPoll* api, const struct timeval* quando,
                                    AvahiTimeoutCallback callback, void* dados) {
        auto* t = new AvahiTimeout;
        t->setParent(static_cast<PollQt*>(api->userdata));
        t->callback = callback;
        t->dados = dados;
        t->timer.setSingleShot(true);
        t->timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&t->timer, &QTimer::timeout, t, [t] {
            if (!t->livre)
                t->callback(t, t->dados);
        });
        Agenda(t, quando);
        return t;
    }
    static void TimeoutUpdate(AvahiTimeout* t, const struct timeval* quando) { Agenda(t, quando); }
    static void TimeoutFree(AvahiTimeout* t) {
        t->livre = true;
        t->timer.stop();
        t->deleteLater();
    }

    AvahiPoll api_{};
};

// Machines announced over mDNS: workstations and file servers, each resolved to its host name.
// The daemon may be missing or restart: the client is made again, and meanwhile nothing is
// shown from it.
class NavegadorAvahi : public QObject {
public:
    explicit NavegadorAvahi(NavegadorRede* rede) : QObject(rede), rede_(rede) {}
    ~NavegadorAvahi() override { Libera(false); }

    void Inicia() { Conecta(); }

private:
    static constexpr const char* kTipos[] = {"_workstation._tcp", "_smb._tcp"};
    static constexpr int kEsperaSemBarramento = 5000; // ms before trying a missing bus again

    void Conecta() {
        reconectando_ = false;
        Libera(true);
        int erro = 0;
        poll_ = std::make_unique<PollQt>();
        cliente_ = avahi_client_new(poll_->Api(), AVAHI_CLIENT_NO_FAIL,
                                    &NavegadorAvahi::ClienteMudou, this, &erro);
        if (!cliente_) {
            // No system bus at all: try again later.
            qCInfo(lcMdns) << "no avahi client:" << avahi_strerror(erro);
            QTimer::singleShot(kEsperaSemBarramento, this, [this] { Conecta(); });
        }
    }

    // Frees the client and everything made through it (browsers, resolvers); with `avisa`, the
    // machines seen through it go from the list.
    void Libera(bool avisa) {
        if (cliente_)
            avahi_client_free(cliente_);
        cliente_ = nullptr;
        navegadores_.clear();
        resolvedores_.clear();
        poll_.reset();
        if (avisa)
            rede_->PerdeTodos(QStringLiteral("mdns:"));
    }

    static void ClienteMudou(AvahiClient* c, AvahiClientState estado, void* dados) {
        auto* self = static_cast<NavegadorAvahi*>(dados);
        switch (estado) {
        case AVAHI_CLIENT_S_RUNNING:
        case AVAHI_CLIENT_S_REGISTERING:
            if (self->navegadores_.isEmpty())
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
            QTimer::singleShot(avahi_client_errno(c) == AVAHI_ERR_DISCONNECTED ? 0 : 1000, self,
                               [self] { self->Conecta(); });
            break;
        default:
            break;
        }
    }

    void CriaNavegadores(AvahiClient* c) {
        for (const char* tipo : kTipos) {
            AvahiServiceBrowser* b =
                avahi_service_browser_new(c, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, tipo, nullptr,
                                          AvahiLookupFlags(0), &NavegadorAvahi::Servico, this);
            if (b)
                navegadores_.append(b);
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

    static void Servico(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocolo,
                        AvahiBrowserEvent evento, const char* nome, const char* tipo,
                        const char* dominio, AvahiLookupResultFlags, void* dados) {
        auto* self = static_cast<NavegadorAvahi*>(dados);
        switch (evento) {
        case AVAHI_BROWSER_NEW: {
            const QString chave = Chave(interface, protocolo, nome, tipo, dominio);
            if (self->resolvedores_.values().contains(chave))
                break;
            AvahiServiceResolver* r = avahi_service_resolver_new(
                self->cliente_, interface, protocolo, nome, tipo, dominio, AVAHI_PROTO_UNSPEC,
                AvahiLookupFlags(0), &NavegadorAvahi::Resolvido, self);
            if (r)
                self->resolvedores_.insert(r, chave);
            break;
        }
        case AVAHI_BROWSER_REMOVE: {
            const QString chave = Chave(interface, protocolo, nome, tipo, dominio);
            for (auto i = self->resolvedores_.begin(); i != self->resolvedores_.end(); ++i) {
                if (i.value() == chave) {
                    avahi_service_resolver_free(i.key());
                    self->resolvedores_.erase(i);
                    break;
                }
            }
            self->rede_->Perde(chave);
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

    static void Resolvido(AvahiServiceResolver* r, AvahiIfIndex, AvahiProtocol,
                          AvahiResolverEvent evento, const char*, const char*, const char* dominio,
                          const char* host, const AvahiAddress*, uint16_t, AvahiStringList*,
                          AvahiLookupResultFlags, void* dados) {
        auto* self = static_cast<NavegadorAvahi*>(dados);
        const QString chave = self->resolvedores_.take(r);
        if (evento == AVAHI_RESOLVER_FOUND && host && !chave.isEmpty()) {
            // The machine's name: its host name without the domain (maquina-b.local).
            const QString nome = QString::fromUtf8(host).section(u'.', 0, 0);
            self->rede_->Avista(chave, nome, QString::fromUtf8(dominio), false);
        } else if (evento == AVAHI_RESOLVER_FAILURE) {
            qCInfo(lcMdns) << "not resolved:" << chave;
        }
        avahi_service_resolver_free(r);
    }

    NavegadorRede* rede_;
    std::unique_ptr<PollQt> poll_;
    AvahiClient* cliente_ = nullptr;
    QList<AvahiServiceBrowser*> navegadores_;
    QHash<AvahiServiceResolver*, QString> resolvedores_;
    bool reconectando_ = false;
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
        ws_ = new DescobertaWs(this);
        connect(ws_, &DescobertaWs::Visto, this,
                [this](const QString& chave, const QString& nome, const QString& grupo) {
                    Avista(QStringLiteral("wsd:") + chave, nome, grupo, true);
                });
        connect(ws_, &DescobertaWs::Perdido, this,
                [this](const QString& prefixo) { PerdeTodos(QStringLiteral("wsd:") + prefixo); });
        ws_->Inicia();
    }

private:
    NavegadorAvahi* avahi_ = nullptr;
    DescobertaWs* ws_ = nullptr;
};

} // namespace

std::unique_ptr<NavegadorRede> CriaNavegadorRedePlataforma(QObject* pai) {
    return std::make_unique<NavegadorRedeLinux>(pai);
}
