// mDNS on Windows through dnsapi (see DescobertaMdns.h). Three threads meet here: dnsapi's,
// which call back; the source's own, which alone calls dnsapi (browse, resolve, cancel); and
// the list's. A query is known to dnsapi by a number, never by an address: a call back finds
// its query in a table under a lock, or nothing (the query ended), and then drops what it got.
#include "conexoes/DescobertaMdns.h"
#include "conexoes/NavegadorRede.h"

#include <QHash>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// clang-format off
#include <windows.h>
#include <windns.h>
// clang-format on

Q_LOGGING_CATEGORY(lcMdnsWin, "gerenciador.rede.mdns")

namespace {

using FuncaoNavega = DNS_STATUS(WINAPI*)(PDNS_SERVICE_BROWSE_REQUEST, PDNS_SERVICE_CANCEL);
using FuncaoResolve = DNS_STATUS(WINAPI*)(PDNS_SERVICE_RESOLVE_REQUEST, PDNS_SERVICE_CANCEL);
using FuncaoCancela = DNS_STATUS(WINAPI*)(PDNS_SERVICE_CANCEL);
using FuncaoLiberaInstancia = VOID(WINAPI*)(PDNS_SERVICE_INSTANCE);
using FuncaoLiberaRegistros = VOID(WINAPI*)(PDNS_RECORD, DNS_FREE_TYPE);

template <typename F> F Como(DescobertaMdns::Funcoes::Funcao f) {
    return reinterpret_cast<F>(f);
}

// DNS_REQUEST_PENDING of the Windows SDK's winerror.h (mingw-w64 lacks it): the query runs.
constexpr DNS_STATUS kPendente = 9506;
constexpr int kRegistrosPorChamada = 256; // of one call back: the rest is dropped
constexpr int kEventosPorVez = 25;        // taken to the list per turn of its event loop

// Events on their way to a thread: the sender puts them in and asks the receiver to come and
// take them (one request while some wait). Once the receiver is gone, nothing more is put in;
// past kMaxEventos, what comes is dropped.
template <typename Evento> struct Caixa {
    std::mutex trava;
    QObject* alvo = nullptr;
    std::function<void()> drena; // runs on the receiver's thread
    std::deque<Evento> fila;
    bool pedido = false;
    bool cheiaDita = false;

    void Poe(Evento e) {
        const std::lock_guard<std::mutex> t(trava);
        if (!alvo)
            return;
        if (fila.size() >= std::size_t(DescobertaMdns::kMaxEventos)) {
            if (!cheiaDita)
                qCInfo(lcMdnsWin) << "too many mDNS events at once: the others are dropped";
            cheiaDita = true;
            return;
        }
        fila.push_back(std::move(e));
        if (!pedido) {
            pedido = true;
            QMetaObject::invokeMethod(alvo, drena, Qt::QueuedConnection);
        }
    }
    // Up to `maximo` events; asks for another turn when more wait.
    std::vector<Evento> Tira(std::size_t maximo) {
        const std::lock_guard<std::mutex> t(trava);
        std::vector<Evento> lote;
        while (!fila.empty() && lote.size() < maximo) {
            lote.push_back(std::move(fila.front()));
            fila.pop_front();
        }
        pedido = !fila.empty();
        if (pedido)
            QMetaObject::invokeMethod(alvo, drena, Qt::QueuedConnection);
        return lote;
    }
    void Fecha() {
        const std::lock_guard<std::mutex> t(trava);
        alvo = nullptr;
        fila.clear();
    }
};

// What dnsapi said, for the source's thread.
struct Resposta {
    enum Tipo { Instancia, Resolvida, Falha } tipo;
    quintptr consulta = 0;
    QString nome; // the instance (Instancia), the host (Resolvida)
    bool perdida = false;
    quint32 ip = 0; // host order; 0: none
    DWORD status = 0;
};
// What the source says, for the list's thread.
struct Saida {
    bool perde = false;
    QString chave;
    QString nome;
    QHostAddress endereco;
};

// A query dnsapi runs: it must keep its cancel handle and its name until it ends.
struct Consulta {
    std::shared_ptr<Caixa<Resposta>> caixa;
    DescobertaMdns::Funcoes funcoes;
    bool resolucao = false;
    bool cancelando = false; // the source's thread is cancelling it: call backs are dropped
    std::wstring nome;
    DNS_SERVICE_BROWSE_REQUEST navegacao{};
    DNS_SERVICE_RESOLVE_REQUEST resolucaoPedida{};
    DNS_SERVICE_CANCEL cancelamento{};
};

struct Global {
    std::mutex trava;
    std::map<quintptr, std::shared_ptr<Consulta>> consultas;
    quintptr proxima = 1;
    std::optional<DescobertaMdns::Funcoes> teste;
    std::optional<DescobertaMdns::Funcoes> ultimas; // to free what a late call back brings
    bool faltaDita = false;
};
// Never destroyed: dnsapi may call back while the process ends.
Global& G() {
    static auto* g = new Global;
    return *g;
}

std::optional<DescobertaMdns::Funcoes> CarregaFuncoes() {
    {
        const std::lock_guard<std::mutex> t(G().trava);
        if (G().teste)
            return G().ultimas = G().teste;
    }
    // Loaded once and kept: a call back may come at any time.
    static const HMODULE dll = LoadLibraryExW(L"dnsapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!dll)
        return std::nullopt;
    const auto f = [](const char* nome) {
        return reinterpret_cast<DescobertaMdns::Funcoes::Funcao>(
            reinterpret_cast<void*>(GetProcAddress(dll, nome)));
    };
    DescobertaMdns::Funcoes r{f("DnsServiceBrowse"),       f("DnsServiceBrowseCancel"),
                              f("DnsServiceResolve"),      f("DnsServiceResolveCancel"),
                              f("DnsServiceFreeInstance"), f("DnsRecordListFree")};
    if (!r.navega || !r.cancelaNavegacao || !r.resolve || !r.cancelaResolucao ||
        !r.liberaInstancia || !r.liberaRegistros)
        return std::nullopt;
    const std::lock_guard<std::mutex> t(G().trava);
    return G().ultimas = r;
}

// The query a call back belongs to, unless it ended or is being cancelled; `termina` ends it
// (a resolution calls back once). The functions to free what it brought, in any case.
std::shared_ptr<Caixa<Resposta>> Dona(PVOID contexto, bool termina,
                                      std::optional<DescobertaMdns::Funcoes>& funcoes) {
    const std::lock_guard<std::mutex> t(G().trava);
    funcoes = G().ultimas;
    const auto c = G().consultas.find(reinterpret_cast<quintptr>(contexto));
    if (c == G().consultas.end() || c->second->cancelando)
        return nullptr;
    funcoes = c->second->funcoes;
    auto caixa = c->second->caixa;
    if (termina)
        G().consultas.erase(c);
    return caixa;
}

QString Texto(const wchar_t* s) {
    // A DNS name has at most 255 characters: a longer text is cut, and then dropped.
    return s ? QString::fromWCharArray(s, int(wcsnlen(s, 300))) : QString();
}

VOID WINAPI Navegou(DWORD status, PVOID contexto, PDNS_RECORD registros) {
    std::optional<DescobertaMdns::Funcoes> funcoes;
    const auto caixa = Dona(contexto, false, funcoes);
    std::vector<Resposta> respostas;
    if (caixa && status != ERROR_SUCCESS)
        respostas.push_back(
            {Resposta::Falha, reinterpret_cast<quintptr>(contexto), {}, false, 0, status});
    int n = 0;
    for (PDNS_RECORD r = registros; caixa && r && n < kRegistrosPorChamada; r = r->pNext, ++n)
        if (r->wType == DNS_TYPE_PTR && r->Data.PTR.pNameHost)
            respostas.push_back({Resposta::Instancia, reinterpret_cast<quintptr>(contexto),
                                 Texto(r->Data.PTR.pNameHost), r->dwTtl == 0});
    if (registros && funcoes)
        Como<FuncaoLiberaRegistros>(funcoes->liberaRegistros)(registros, DnsFreeRecordList);
    for (Resposta& r : respostas)
        caixa->Poe(std::move(r));
}

VOID WINAPI Resolvido(DWORD status, PVOID contexto, PDNS_SERVICE_INSTANCE instancia) {
    std::optional<DescobertaMdns::Funcoes> funcoes;
    const auto caixa = Dona(contexto, true, funcoes);
    Resposta r{Resposta::Resolvida, reinterpret_cast<quintptr>(contexto)};
    r.status = status;
    if (instancia) {
        r.nome = Texto(instancia->pszHostName);
        if (instancia->ip4Address)
            r.ip = qFromBigEndian<quint32>(quint32(*instancia->ip4Address));
        if (funcoes)
            Como<FuncaoLiberaInstancia>(funcoes->liberaInstancia)(instancia);
    }
    if (caixa)
        caixa->Poe(std::move(r));
}

// The source's thread: every dnsapi call, the instances followed and their resolution.
class Trabalhador : public QObject {
public:
    Trabalhador(DescobertaMdns::Funcoes funcoes, std::shared_ptr<Caixa<Saida>> saida)
        : funcoes_(funcoes), saida_(std::move(saida)) {}

    // On the thread, first of all.
    void Inicia() {
        entrada_->alvo = this;
        entrada_->drena = [this] { Drena(); };
        auto* relogio = new QTimer(this);
        connect(relogio, &QTimer::timeout, this, [this] { Vence(); });
        relogio->start(1000);
        for (const wchar_t* tipo : DescobertaMdns::kTipos) {
            auto c = Registra(tipo, false);
            DNS_SERVICE_BROWSE_REQUEST& pedido = c.second->navegacao;
            pedido.Version = DNS_QUERY_REQUEST_VERSION1;
            pedido.QueryName = c.second->nome.c_str();
            pedido.pBrowseCallback = &Navegou;
            pedido.pQueryContext = reinterpret_cast<PVOID>(c.first);
            const DNS_STATUS s =
                Como<FuncaoNavega>(funcoes_.navega)(&pedido, &c.second->cancelamento);
            if (s != kPendente) {
                qCInfo(lcMdnsWin) << "mDNS browse of" << QString::fromWCharArray(tipo)
                                  << "refused:" << s;
                Esquece(c.first);
            }
        }
    }

    // On the thread, last of all: every query of this source cancelled, then the thread ends.
    void Encerra() {
        entrada_->Fecha();
        std::vector<std::pair<quintptr, std::shared_ptr<Consulta>>> minhas;
        {
            const std::lock_guard<std::mutex> t(G().trava);
            for (auto& [id, c] : G().consultas)
                if (c->caixa == entrada_ && !c->cancelando) {
                    c->cancelando = true;
                    minhas.emplace_back(id, c);
                }
        }
        for (auto& [id, c] : minhas)
            Como<FuncaoCancela>(c->resolucao ? funcoes_.cancelaResolucao
                                             : funcoes_.cancelaNavegacao)(&c->cancelamento);
        const std::lock_guard<std::mutex> t(G().trava);
        for (auto& [id, c] : minhas)
            G().consultas.erase(id);
        thread()->quit();
    }

private:
    struct Instancia {
        QString nome;
        quintptr resolucao = 0; // its query, while one runs
        std::chrono::steady_clock::time_point desde;
        bool naFila = false;
        bool vista = false; // reported to the list
    };

    std::pair<quintptr, std::shared_ptr<Consulta>> Registra(const wchar_t* nome, bool resolucao) {
        auto c = std::make_shared<Consulta>();
        c->caixa = entrada_;
        c->funcoes = funcoes_;
        c->resolucao = resolucao;
        c->nome = nome;
        const std::lock_guard<std::mutex> t(G().trava);
        const quintptr id = G().proxima++;
        G().consultas.emplace(id, c);
        return {id, c};
    }
    static void Esquece(quintptr id) {
        const std::lock_guard<std::mutex> t(G().trava);
        G().consultas.erase(id);
    }
    // Cancels a resolution of ours that has not called back.
    void CancelaResolucao(quintptr id) {
        std::shared_ptr<Consulta> c;
        {
            const std::lock_guard<std::mutex> t(G().trava);
            const auto achada = G().consultas.find(id);
            if (achada == G().consultas.end() || achada->second->cancelando)
                return;
            c = achada->second;
            c->cancelando = true;
        }
        Como<FuncaoCancela>(funcoes_.cancelaResolucao)(&c->cancelamento);
        Esquece(id);
    }

    void Drena() {
        for (Resposta& r : entrada_->Tira(std::size_t(-1))) {
            switch (r.tipo) {
            case Resposta::Instancia:
                Encontrou(r.nome, r.perdida);
                break;
            case Resposta::Resolvida:
                Resolveu(r.consulta, r.status, r.nome, r.ip);
                break;
            case Resposta::Falha:
                if (!falhaDita_)
                    qCInfo(lcMdnsWin) << "mDNS browse failed:" << r.status;
                falhaDita_ = true;
                break;
            }
        }
        Resolve();
    }

    void Encontrou(const QString& nome, bool perdida) {
        if (nome.isEmpty() || nome.size() > 255)
            return;
        const QString chave = nome.toCaseFolded();
        const auto i = instancias_.find(chave);
        if (perdida) {
            if (i == instancias_.end())
                return;
            if (i->resolucao) {
                porConsulta_.remove(i->resolucao);
                CancelaResolucao(i->resolucao);
                --resolvendo_;
            }
            if (i->vista)
                saida_->Poe({true, QStringLiteral("mdns:") + chave});
            instancias_.erase(i);
            return;
        }
        if (i != instancias_.end()) {
            // Announced again: resolved again if it never was.
            if (!i->vista && !i->resolucao && !i->naFila) {
                i->naFila = true;
                fila_.push_back(chave);
            }
            return;
        }
        if (instancias_.size() >= DescobertaMdns::kMaxInstancias) {
            if (!excessoDito_)
                qCInfo(lcMdnsWin) << "more than" << DescobertaMdns::kMaxInstancias
                                  << "mDNS instances: the others are dropped";
            excessoDito_ = true;
            return;
        }
        instancias_.insert(chave, Instancia{nome, 0, {}, true, false});
        fila_.push_back(chave);
    }

    // Starts resolutions for the instances waiting, up to the limit.
    void Resolve() {
        while (resolvendo_ < DescobertaMdns::kResolvendo && !fila_.empty()) {
            const QString chave = fila_.front();
            fila_.pop_front();
            const auto i = instancias_.find(chave);
            if (i == instancias_.end() || !i->naFila)
                continue;
            i->naFila = false;
            auto c = Registra(reinterpret_cast<const wchar_t*>(i->nome.utf16()), true);
            DNS_SERVICE_RESOLVE_REQUEST& pedido = c.second->resolucaoPedida;
            pedido.Version = DNS_QUERY_REQUEST_VERSION1;
            pedido.QueryName = c.second->nome.data();
            pedido.pResolveCompletionCallback = &Resolvido;
            pedido.pQueryContext = reinterpret_cast<PVOID>(c.first);
            i->resolucao = c.first;
            i->desde = std::chrono::steady_clock::now();
            porConsulta_.insert(c.first, chave);
            ++resolvendo_;
            const DNS_STATUS s =
                Como<FuncaoResolve>(funcoes_.resolve)(&pedido, &c.second->cancelamento);
            if (s != kPendente) {
                if (!resolucaoRecusadaDita_)
                    qCInfo(lcMdnsWin) << "mDNS resolve refused:" << s;
                resolucaoRecusadaDita_ = true;
                Esquece(c.first);
                Termina(c.first);
            }
        }
    }

    // The resolution `consulta` is over: its instance waits for another announcement.
    QHash<QString, Instancia>::iterator Termina(quintptr consulta) {
        const QString chave = porConsulta_.take(consulta);
        const auto i = instancias_.find(chave);
        if (i == instancias_.end() || i->resolucao != consulta)
            return instancias_.end();
        i->resolucao = 0;
        --resolvendo_;
        return i;
    }

    void Resolveu(quintptr consulta, DWORD status, const QString& host, quint32 ip) {
        const auto i = Termina(consulta);
        if (i == instancias_.end())
            return;
        // The machine's name: its host name without the domain (maquina-b.local).
        const QString nome = host.section(u'.', 0, 0);
        if (status != ERROR_SUCCESS || nome.isEmpty())
            return;
        i->vista = true;
        saida_->Poe({false, QStringLiteral("mdns:") + i.key(), nome,
                     ip ? QHostAddress(ip) : QHostAddress()});
    }

    // Once a second: resolutions that took too long are cancelled.
    void Vence() {
        const auto limite = std::chrono::steady_clock::now() -
                            std::chrono::milliseconds(DescobertaMdns::kTempoResolucao);
        QList<quintptr> vencidas;
        for (const Instancia& i : std::as_const(instancias_))
            if (i.resolucao && i.desde < limite)
                vencidas.append(i.resolucao);
        for (const quintptr id : vencidas) {
            CancelaResolucao(id);
            Termina(id);
        }
        Resolve();
    }

    const DescobertaMdns::Funcoes funcoes_;
    const std::shared_ptr<Caixa<Resposta>> entrada_ = std::make_shared<Caixa<Resposta>>();
    const std::shared_ptr<Caixa<Saida>> saida_;
    QHash<QString, Instancia> instancias_; // by case-folded instance name
    QHash<quintptr, QString> porConsulta_;
    std::deque<QString> fila_;
    int resolvendo_ = 0;
    bool falhaDita_ = false;
    bool excessoDito_ = false;
    bool resolucaoRecusadaDita_ = false;
};

// The list's side: takes the source's events to it, a batch per turn of the event loop.
class Receptor : public QObject {
public:
    Receptor(NavegadorRede* rede, std::shared_ptr<Caixa<Saida>> saida)
        : rede_(rede), saida_(std::move(saida)) {
        saida_->alvo = this;
        saida_->drena = [this] { Drena(); };
    }
    ~Receptor() override { saida_->Fecha(); }

private:
    void Drena() {
        for (const Saida& s : saida_->Tira(kEventosPorVez)) {
            if (s.perde)
                rede_->Perde(s.chave);
            else
                rede_->Avista(s.chave, s.nome, QStringLiteral("local"),
                              NavegadorRede::kDominioNomes, s.endereco);
        }
    }

    NavegadorRede* rede_;
    std::shared_ptr<Caixa<Saida>> saida_;
};

} // namespace

struct DescobertaMdns::Estado {
    NavegadorRede* rede;
    std::unique_ptr<Receptor> receptor;
    QThread* thread = nullptr;
    Trabalhador* trabalhador = nullptr;
};

void DescobertaMdns::DefineFuncoes(std::optional<Funcoes> funcoes) {
    const std::lock_guard<std::mutex> t(G().trava);
    G().teste = funcoes;
}

int DescobertaMdns::ConsultasAbertas() {
    const std::lock_guard<std::mutex> t(G().trava);
    return int(G().consultas.size());
}

DescobertaMdns::DescobertaMdns(NavegadorRede* rede) : estado_(std::make_shared<Estado>()) {
    estado_->rede = rede;
}

DescobertaMdns::~DescobertaMdns() {
    if (!estado_->thread)
        return;
    // Nothing more reaches the list; the thread cancels its queries and ends by itself, and
    // then goes with its worker. Nobody waits for it.
    estado_->receptor.reset();
    QThread* thread = estado_->thread;
    Trabalhador* trabalhador = estado_->trabalhador;
    QObject::connect(thread, &QThread::finished, trabalhador, &QObject::deleteLater);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    QMetaObject::invokeMethod(trabalhador, [trabalhador] { trabalhador->Encerra(); });
}

bool DescobertaMdns::Inicia() {
    if (estado_->thread)
        return true;
    const std::optional<Funcoes> funcoes = CarregaFuncoes();
    if (!funcoes) {
        const std::lock_guard<std::mutex> t(G().trava);
        if (!G().faltaDita)
            qCInfo(lcMdnsWin) << "no mDNS browsing: dnsapi has no DnsServiceBrowse (Windows 10 "
                                 "or later has it)";
        G().faltaDita = true;
        return false;
    }
    auto saida = std::make_shared<Caixa<Saida>>();
    estado_->receptor = std::make_unique<Receptor>(estado_->rede, saida);
    estado_->thread = new QThread;
    estado_->thread->setObjectName(QStringLiteral("mdns"));
    estado_->trabalhador = new Trabalhador(*funcoes, saida);
    estado_->trabalhador->moveToThread(estado_->thread);
    estado_->thread->start();
    Trabalhador* trabalhador = estado_->trabalhador;
    QMetaObject::invokeMethod(trabalhador, [trabalhador] { trabalhador->Inicia(); });
    return true;
}
