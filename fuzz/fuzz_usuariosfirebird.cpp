// The Firebird server's answers to the user-list query: a sequence of answer buffers (each
// preceded by its length in one byte), joined into the list as the client joins them, then
// split into users. The whole input is also read as one joined list, and as the answer to the
// database's version query.
#include "conexoes/VerificaBanco.h"
#include "menu/ServicosFirebird.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    const char* bytes = reinterpret_cast<const char*>(dados);
    QByteArray lista;
    std::size_t i = 0;
    while (i < tamanho) {
        const std::size_t n = std::min<std::size_t>(dados[i], tamanho - i - 1);
        const QByteArray resposta(bytes + i + 1, qsizetype(n));
        const qsizetype antes = lista.size();
        const auto pedaco = LeRespostaUsuarios(resposta, lista);
        // Only a piece of data adds to the list, and never more than the answer held.
        if ((lista.size() != antes) != (pedaco == PedacoUsuarios::Dados) ||
            lista.size() - antes > resposta.size())
            std::abort();
        i += n + 1;
    }
    for (const QByteArrayView v :
         {QByteArrayView(lista), QByteArrayView(bytes, qsizetype(tamanho))})
        if (const auto usuarios = InterpretaUsuarios(v))
            for (const UsuarioFirebird& u : *usuarios)
                ProcuraUsuario(*usuarios, u.UserName);
    // A version is read only from within the answer, and never longer than it.
    if (const auto versao = LeVersaoFirebird(QByteArrayView(bytes, qsizetype(tamanho))))
        if (versao->size() > qsizetype(tamanho))
            std::abort();
    return 0;
}
