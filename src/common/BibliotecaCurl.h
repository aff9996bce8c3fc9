#pragma once

#include <QString>
#include <atomic>
#include <curl/curl.h>
#include <mutex>

// libcurl, loaded at its first use instead of at program start: the library and the tree of
// libraries it needs (TLS, SSH, LDAP, Kerberos...) cost the start a third of its time and a
// quarter of its memory although the window needs none of them to appear. The first call
// loads it and runs curl_global_init once (std::call_once: several threads may ask at once),
// on whichever thread asks; the public IP lookup asks from its own thread.
//
// Only the functions the program uses are here; call them through the table, e.g.
// `c->easy_setopt(h, CURLOPT_URL, url)` (the same arguments as the curl_* functions).
struct FuncoesCurl {
    CURLcode (*global_init)(long flags);
    curl_version_info_data* (*version_info)(CURLversion versao);
    CURL* (*easy_init)();
    CURLcode (*easy_setopt)(CURL* curl, CURLoption opcao, ...);
    CURLcode (*easy_perform)(CURL* curl);
    CURLcode (*easy_getinfo)(CURL* curl, CURLINFO info, ...);
    const char* (*easy_strerror)(CURLcode codigo);
    void (*easy_cleanup)(CURL* curl);
    CURLM* (*multi_init)();
    CURLMcode (*multi_add_handle)(CURLM* multi, CURL* curl);
    CURLMcode (*multi_remove_handle)(CURLM* multi, CURL* curl);
    CURLMcode (*multi_perform)(CURLM* multi, int* correndo);
    CURLMsg* (*multi_info_read)(CURLM* multi, int* restantes);
    CURLMcode (*multi_poll)(CURLM* multi, curl_waitfd extras[], unsigned int nExtras, int espera,
                            int* prontos);
    CURLMcode (*multi_wakeup)(CURLM* multi);
    CURLMcode (*multi_cleanup)(CURLM* multi);
    curl_slist* (*slist_append)(curl_slist* lista, const char* texto);
    void (*slist_free_all)(curl_slist* lista);
};

// The loaded library with curl_global_init done, or nullptr when it cannot be loaded or
// initialised (then `erro`, if given, says why). The answer is decided once per run.
const FuncoesCurl* BibliotecaCurl(QString* erro = nullptr);

// The file the loader asks for: libcurl.so.4 / libcurl.dll.
QString NomeBibliotecaCurl();

// Transfers of easy handles, each run to its end on the calling thread through a multi handle
// kept by this object, so that another thread can stop one at once with Abortar() whatever it
// waits for (name lookup, connection, a silent server). The HTTP lookup of the public IP and
// the FTP downloads share it.
//
// A finished transfer's connection stays in the multi handle until Encerra() or the object
// goes away; closing it may send a goodbye and wait for the server's answer (FTP's QUIT, at
// most kLimiteDespedidaS seconds), so a caller that must not wait reports its result first
// and closes afterwards.
class TransferenciaCurl {
public:
    TransferenciaCurl() = default;
    ~TransferenciaCurl();
    TransferenciaCurl(const TransferenciaCurl&) = delete;
    TransferenciaCurl& operator=(const TransferenciaCurl&) = delete;

    // Runs `curl` with the library's functions `c`. The transfer's result;
    // CURLE_ABORTED_BY_CALLBACK when it was stopped before its end (also when Abortar() came
    // before the start), CURLE_OUT_OF_MEMORY when no multi handle could be made.
    CURLcode Executa(const FuncoesCurl* c, CURL* curl);

    // Closes the connections that finished transfers left open (FTP says QUIT and waits for
    // the answer, at most kLimiteDespedidaS seconds), now rather than when the object goes
    // away. Same thread as Executa.
    void Encerra();
    static constexpr long kLimiteDespedidaS = 2;

    // Stops the transfer under way, and any later one before it starts. Thread-safe.
    void Abortar();
    bool Abortada() const { return abortar_.load(); }

private:
    std::atomic<bool> abortar_{false};
    std::mutex mutexMulti_;
    const FuncoesCurl* c_ = nullptr;
    CURLM* multi_ = nullptr; // made by the first transfer
};
