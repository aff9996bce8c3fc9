#include "menu/ServicoSeguranca.h"

#include "common/ClienteFirebird.h"
#include "common/Texto.h"

#include <QThread>
#include <string>

namespace {

constexpr qsizetype MaximoLista = 16 << 20;     // a list of users larger than this is nonsense
constexpr int MaximoEsperas = 1000;             // answers "not ready yet" in a row...
constexpr unsigned long IntervaloEsperaMs = 10; // ...this far apart: 10 s in all

bool Falhou(const fb::IscStatus* status) {
    return status[0] == 1 && status[1] != 0;
}

} // namespace

TServicoSeguranca::TServicoSeguranca(QObject* dono) : QObject(dono) {
    setObjectName(QStringLiteral("IBSecurityService"));
}

TServicoSeguranca::~TServicoSeguranca() {
    try {
        Desanexa();
    } catch (const ErroServicoFirebird&) {
    }
}

QString TServicoSeguranca::NomeServico() const {
    return NomeServidor + QStringLiteral(":service_mgr");
}

void TServicoSeguranca::Falha(const char* chamada) const {
    std::string texto = chamada;
    if (cliente_ && cliente_->fb_interpret) {
        const fb::IscStatus* vetor = status_;
        char linha[512];
        while (cliente_->fb_interpret(linha, sizeof linha, &vetor) > 0) {
            linha[sizeof linha - 1] = '\0';
            texto += ": ";
            texto += linha;
        }
    } else {
        texto += ": código " + std::to_string(status_[1]);
    }
    throw ErroServicoFirebird(texto);
}

void TServicoSeguranca::Anexa() {
    if (Ativo())
        return;
    QString motivo;
    cliente_ = CarregaClienteFirebird(
        BibliotecaCliente.isEmpty() ? NomeBibliotecaClienteFirebird() : BibliotecaCliente, &motivo);
    if (!cliente_)
        throw ErroServicoFirebird("cliente Firebird indisponível: " + motivo.toStdString());

    const std::optional<QByteArray> bloco = MontaBlocoAnexacao(Parametros, TempoLimiteConexao);
    if (!bloco)
        throw ErroServicoFirebird("parâmetros de conexão inválidos");
    const QByteArray nome = ParaWindows1252(NomeServico());
    if (nome.size() > 0xFFFF)
        throw ErroServicoFirebird("nome do serviço longo demais");

    fb::Handle servico{};
    const PreservaSinais sinais;
    cliente_->isc_service_attach(status_, static_cast<unsigned short>(nome.size()),
                                 nome.constData(), &servico,
                                 static_cast<unsigned short>(bloco->size()), bloco->constData());
    if (Falhou(status_))
        Falha("isc_service_attach");
    servico_ = servico;
}

void TServicoSeguranca::Desanexa() {
    if (!Ativo())
        return;
    cliente_->isc_service_detach(status_, &servico_);
    servico_ = {}; // closed either way: a failed detach leaves nothing to detach again
    if (Falhou(status_))
        Falha("isc_service_detach");
}

void TServicoSeguranca::Inicia(const QByteArray& pedido) {
    if (!Ativo())
        throw ErroServicoFirebird("serviço não conectado");
    cliente_->isc_service_start(status_, &servico_, nullptr,
                                static_cast<unsigned short>(pedido.size()), pedido.constData());
    if (Falhou(status_))
        Falha("isc_service_start");
}

QByteArray TServicoSeguranca::Consulta(std::uint8_t item) {
    const char itens[1] = {char(item)};
    QByteArray resposta(TamanhoResposta, '\0');
    cliente_->isc_service_query(status_, &servico_, nullptr, 0, nullptr, sizeof itens, itens,
                                static_cast<unsigned short>(resposta.size()), resposta.data());
    if (Falhou(status_))
        Falha("isc_service_query");
    return resposta;
}

void TServicoSeguranca::ListaUsuarios() {
    usuarios_.clear();
    Inicia(MontaPedidoExibeUsuarios());

    // The list arrives in pieces, cut anywhere (a record, even a name, may continue in the
    // next piece), until an empty piece: join them all, then read the records.
    QByteArray dados;
    for (int esperas = 0;;) {
        const std::optional<PedacoUsuarios> pedaco =
            LeRespostaUsuarios(Consulta(fb::isc_info_svc_get_users), dados);
        if (!pedaco)
            throw ErroServicoFirebird("resposta malformada à lista de usuários");
        if (*pedaco == PedacoUsuarios::Fim)
            break;
        if (*pedaco == PedacoUsuarios::NaoPronto) {
            if (++esperas > MaximoEsperas)
                throw ErroServicoFirebird("a lista de usuários não chegou a tempo");
            QThread::msleep(IntervaloEsperaMs);
            continue;
        }
        esperas = 0;
        if (dados.size() > MaximoLista)
            throw ErroServicoFirebird("lista de usuários grande demais");
    }
    std::optional<QList<UsuarioFirebird>> lista = InterpretaUsuarios(dados);
    if (!lista)
        throw ErroServicoFirebird("lista de usuários malformada");
    usuarios_ = std::move(*lista);
}

void TServicoSeguranca::IncluiUsuario() {
    const std::optional<QByteArray> pedido = MontaPedidoIncluiUsuario(Usuario, Senha);
    if (!pedido)
        throw ErroServicoFirebird("dados do usuário longos demais");
    Inicia(*pedido);
    AguardaFimDaAcao();
}

// Servers that carry an action out after isc_service_start has returned report its failure
// to the queries that follow; ask until the action is no longer running.
void TServicoSeguranca::AguardaFimDaAcao() {
    for (int esperas = 0;; ++esperas) {
        const std::optional<bool> ativo =
            LeRespostaServicoAtivo(Consulta(fb::isc_info_svc_running));
        if (!ativo)
            throw ErroServicoFirebird("resposta malformada ao estado do serviço");
        if (!*ativo)
            return;
        if (esperas >= MaximoEsperas)
            throw ErroServicoFirebird("o servidor não concluiu a ação a tempo");
        QThread::msleep(IntervaloEsperaMs);
    }
}
