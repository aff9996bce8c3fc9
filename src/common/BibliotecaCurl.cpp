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
                      Resolve(b, "curl_multi_cleanup", f.multi_cleanup);
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
