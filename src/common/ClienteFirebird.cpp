#include "common/ClienteFirebird.h"

#include <QLibrary>
#include <QMutex>
#include <QMutexLocker>
#include <map>
#include <memory>

#if !defined(_WIN32)
#include <csignal>
#endif

namespace {

struct Carregado {
    std::unique_ptr<QLibrary> biblioteca; // never unloaded: the client keeps threads of its own
    ClienteFirebird cliente;
};

template <typename F> bool Resolve(QLibrary& biblioteca, const char* nome, F& funcao) {
    funcao = reinterpret_cast<F>(biblioteca.resolve(nome));
    return funcao != nullptr;
}

} // namespace

QString NomeBibliotecaClienteFirebird() {
#if defined(_WIN32)
    return QStringLiteral("fbclient.dll");
#else
    return QStringLiteral("libfbclient.so.2");
#endif
}

const ClienteFirebird* CarregaClienteFirebird(const QString& arquivo, QString* erro) {
    static QMutex trava;
    // Loaded clients, kept for the whole run and never destroyed: the client's own threads may
    // still run while the program exits.
    static auto& carregados = *new std::map<QString, std::unique_ptr<Carregado>>;
    QMutexLocker travado(&trava);

    if (const auto achado = carregados.find(arquivo); achado != carregados.end())
        return &achado->second->cliente;

    // A failure is not remembered: a client installed later is found at the next call.
    auto c = std::make_unique<Carregado>();
    c->biblioteca = std::make_unique<QLibrary>(arquivo);
    if (!c->biblioteca->load()) {
        if (erro)
            *erro = c->biblioteca->errorString();
        return nullptr;
    }
    ClienteFirebird& f = c->cliente;
    QLibrary& b = *c->biblioteca;
    const bool tudo = Resolve(b, "isc_service_attach", f.isc_service_attach) &&
                      Resolve(b, "isc_service_detach", f.isc_service_detach) &&
                      Resolve(b, "isc_service_start", f.isc_service_start) &&
                      Resolve(b, "isc_service_query", f.isc_service_query);
    Resolve(b, "fb_interpret", f.fb_interpret);
    Resolve(b, "isc_attach_database", f.isc_attach_database);
    Resolve(b, "isc_detach_database", f.isc_detach_database);
    Resolve(b, "isc_database_info", f.isc_database_info);
    if (!tudo) {
        if (erro)
            *erro = QStringLiteral("%1 não exporta a API de serviços").arg(arquivo);
        return nullptr; // QLibrary's destructor leaves the library loaded; harmless
    }
    const ClienteFirebird* carregado = &c->cliente;
    carregados.emplace(arquivo, std::move(c));
    return carregado;
}

#if defined(_WIN32)
PreservaSinais::PreservaSinais() = default;
PreservaSinais::~PreservaSinais() = default;
#else
namespace {
// Attaches may overlap on several threads: the first one in keeps the handlers, the last one
// out puts them back (one restoring while another began after the client's change would leave
// the client's handlers in place).
QMutex travaSinais;
int preservando = 0;
struct {
    struct sigaction interrupcao {};
    struct sigaction termino {};
} guardados;
} // namespace

PreservaSinais::PreservaSinais() {
    const QMutexLocker travado(&travaSinais);
    if (preservando++ == 0) {
        sigaction(SIGINT, nullptr, &guardados.interrupcao);
        sigaction(SIGTERM, nullptr, &guardados.termino);
    }
}

PreservaSinais::~PreservaSinais() {
    const QMutexLocker travado(&travaSinais);
    if (--preservando == 0) {
        sigaction(SIGINT, &guardados.interrupcao, nullptr);
        sigaction(SIGTERM, &guardados.termino, nullptr);
    }
}
#endif
