// A stand-in for the Firebird client library (fbclient.dll), for the tests of where the
// program finds it: it exports the four functions of the services API that the program
// requires, and each of them fails.
#include <cstdint>

#if defined(_WIN32)
#define EXPORTA extern "C" __declspec(dllexport)
#define CHAMADA __stdcall
#else
#define EXPORTA extern "C" __attribute__((visibility("default")))
#define CHAMADA
#endif

namespace {
std::intptr_t Falha(std::intptr_t* status) {
    status[0] = 1;         // isc_arg_gds
    status[1] = 335544344; // isc_io_error
    status[2] = 0;         // isc_arg_end
    return status[1];
}
} // namespace

EXPORTA std::intptr_t CHAMADA isc_service_attach(std::intptr_t* status, unsigned short, const char*,
                                                 void*, unsigned short, const char*) {
    return Falha(status);
}
EXPORTA std::intptr_t CHAMADA isc_service_detach(std::intptr_t* status, void*) {
    return Falha(status);
}
EXPORTA std::intptr_t CHAMADA isc_service_start(std::intptr_t* status, void*, void*, unsigned short,
                                                const char*) {
    return Falha(status);
}
EXPORTA std::intptr_t CHAMADA isc_service_query(std::intptr_t* status, void*, void*, unsigned short,
                                                const char*, unsigned short, const char*,
                                                unsigned short, char*) {
    return Falha(status);
}
