#include "common/BibliotecaCurl.h"

#include <QLibrary>
#include <mutex>

namespace {

template <typename F> bool Resolve(QLibrary& biblioteca, const char* nome, F& funcao) {
    funcao = reinterpret_cast<F>(biblioteca.resolve(nome));
    return funcao != nullptr;
}

struct Carga {
    FuncoesCurl funcoes{};
    QLibrary* biblioteca = nullptr; // kept for the whole run
    bool pronta = false;
    QString erro;
};

void Carrega(Carga& carga) {
    // Never unloaded: a transfer abandoned at the end of the run may still be inside it.
#if defined(_WIN32)
    carga.biblioteca = new QLibrary(NomeBibliotecaCurl());
#else
    carga.biblioteca = new QLibrary(QStringLiteral("curl"), 4); // libcurl.so.4, asked directly
#endif
    QLibrary& b = *carga.biblioteca;
    if (!b.load()) {
        carga.erro = b.errorString();
        return;
    }
    FuncoesCurl& f = carga.funcoes;
    const bool tudo = Resolve(b, "curl_global_init", f.global_init) &&
                      Resolve(b, "curl_version_info", f.version_info) &&
                      Resolve(b, "curl_easy_init", f.easy_init) &&
                      Resolve(b, "curl_easy_setopt", f.easy_setopt) &&
                      Resolve(b, "curl_easy_perform", f.easy_perform) &&
                      Resolve(b, "curl_easy_getinfo", f.easy_getinfo) &&
                      Resolve(b, "curl_easy_strerror", f.easy_strerror) &&
                      Resolve(b, "curl_easy_cleanup", f.easy_cleanup) &&
                      Resolve(b, "curl_multi_init", f.multi_init) &&
                      Resolve(b, "curl_multi_add_handle", f.multi_add_handle) &&
                      Resolve(b, "curl_multi_remove_handle", f.multi_remove_handle) &&
                      Resolve(b, "curl_multi_perform", f.multi_perform) &&
                      Resolve(b, "curl_multi_info_read", f.multi_info_read) &&
                      Resolve(b, "curl_multi_poll", f.multi_poll) &&
                      Resolve(b, "curl_multi_wakeup", f.multi_wakeup) &&
                      Resolve(b, "curl_multi_cleanup", f.multi_cleanup) &&
                      Resolve(b, "curl_slist_append", f.slist_append) &&
                      Resolve(b, "curl_slist_free_all", f.slist_free_all);
    if (!tudo) {
        carga.erro = QStringLiteral("%1 não exporta as funções esperadas (libcurl 7.68 ou mais "
                                    "nova)")
                         .arg(b.fileName());
        return; // left loaded; harmless
    }
    // Once per run, before any transfer, inside the call_once that orders every first use. No
    // curl_global_cleanup: the run ends with the library still loaded.
    if (const CURLcode rc = f.global_init(CURL_GLOBAL_DEFAULT); rc != CURLE_OK) {
        carga.erro = QString::fromUtf8(f.easy_strerror(rc));
        return;
    }
    carga.pronta = true;
}

} // namespace

QString NomeBibliotecaCurl() {
#if defined(_WIN32)
    return QStringLiteral("libcurl.dll");
#else
    return QStringLiteral("libcurl.so.4");
#endif
}

const FuncoesCurl* BibliotecaCurl(QString* erro) {
    static std::once_flag feita;
    static Carga carga;
    std::call_once(feita, [] { Carrega(carga); });
    if (!carga.pronta) {
        if (erro)
            *erro = carga.erro;
        return nullptr;
    }
    return &carga.funcoes;
}

TransferenciaCurl::~TransferenciaCurl() {
    Encerra();
}

void TransferenciaCurl::Encerra() {
    CURLM* multi = nullptr;
    {
        const std::lock_guard trava(mutexMulti_);
        std::swap(multi, multi_);
    }
    if (!multi)
        return;
    // The goodbye (FTP's QUIT) is sent by the multi handle's own closing handle, which takes
    // its time limits from the easy handle added last: a handle that is never run, added only
    // to lend it a short limit, keeps a server that never answers from holding us up.
    if (CURL* curto = c_->easy_init()) {
        c_->easy_setopt(curto, CURLOPT_SERVER_RESPONSE_TIMEOUT, kLimiteDespedidaS);
        c_->easy_setopt(curto, CURLOPT_NOSIGNAL, 1L);
        if (c_->multi_add_handle(multi, curto) == CURLM_OK)
            c_->multi_remove_handle(multi, curto);
        c_->easy_cleanup(curto);
    }
    c_->multi_cleanup(multi);
}

CURLcode TransferenciaCurl::Executa(const FuncoesCurl* c, CURL* curl) {
    CURLM* multi = nullptr;
    {
        const std::lock_guard trava(mutexMulti_);
        if (!multi_) {
            c_ = c;
            multi_ = c->multi_init();
        }
        multi = multi_;
    }
    // From here on only this thread (in Encerra) takes the handle away.
    if (!multi)
        return CURLE_OUT_OF_MEMORY;
    if (abortar_.load())
        return CURLE_ABORTED_BY_CALLBACK;
    c->multi_add_handle(multi, curl);
    bool concluida = false;
    CURLcode rc = CURLE_ABORTED_BY_CALLBACK;
    while (!abortar_.load()) {
        int correndo = 0;
        if (c->multi_perform(multi, &correndo) != CURLM_OK)
            break;
        int restantes = 0;
        while (CURLMsg* msg = c->multi_info_read(multi, &restantes)) {
            if (msg->msg == CURLMSG_DONE) {
                rc = msg->data.result;
                concluida = true;
            }
        }
        if (concluida || correndo == 0)
            break;
        // Woken by the sockets or by Abortar (multi_wakeup); the time limit only bounds a
        // wait that libcurl did not ask for.
        if (c->multi_poll(multi, nullptr, 0, 1000, nullptr) != CURLM_OK)
            break;
    }
    // A transfer removed before its end closes its connection at once, without waiting for
    // the server.
    c->multi_remove_handle(multi, curl);
    return concluida ? rc : CURLE_ABORTED_BY_CALLBACK;
}

void TransferenciaCurl::Abortar() {
    abortar_.store(true);
    const std::lock_guard trava(mutexMulti_);
    if (multi_)
        c_->multi_wakeup(multi_);
}
