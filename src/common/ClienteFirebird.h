#pragma once

#include "common/ConstantesFirebird.h"

#include <QString>
#include <memory>

// The Firebird client library, loaded at run time, so that the program starts and works where
// no client is installed (only the operations that need it fail).

struct ClienteFirebird {
    fb::isc_service_attach_t isc_service_attach = nullptr;
    fb::isc_service_detach_t isc_service_detach = nullptr;
    fb::isc_service_start_t isc_service_start = nullptr;
    fb::isc_service_query_t isc_service_query = nullptr;
    fb::fb_interpret_t fb_interpret = nullptr; // optional: texts of the status vector
    // The database API; null in a library without it (the services API alone).
    fb::isc_attach_database_t isc_attach_database = nullptr;
    fb::isc_detach_database_t isc_detach_database = nullptr;
    fb::isc_database_info_t isc_database_info = nullptr;
};

// The client's file name on this platform: fbclient.dll on Windows, libfbclient.so.2 elsewhere.
QString NomeBibliotecaClienteFirebird();

// Loads the library `arquivo` (a file name searched where the system looks for libraries, or a
// path) once per process and resolves its functions. Null, with the reason in `erro`, when the
// library or one of the four services functions is missing. The library stays loaded.
const ClienteFirebird* CarregaClienteFirebird(const QString& arquivo, QString* erro = nullptr);

// At its first call the client installs handlers of SIGINT and SIGTERM that close its
// connections and leave the process running, so that the program would no longer end on TERM
// (a session ending, a script stopping it). Made around the calls that may be the client's
// first (the attaches), this puts the process's own handlers back when it goes away (the last
// of several at once does). Nothing to do on Windows.
class PreservaSinais {
public:
    PreservaSinais();
    ~PreservaSinais();
    PreservaSinais(const PreservaSinais&) = delete;
    PreservaSinais& operator=(const PreservaSinais&) = delete;
};
