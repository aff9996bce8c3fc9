#pragma once

#include "common/ConstantesFirebird.h"
#include "menu/ServicosFirebird.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <stdexcept>

struct ClienteFirebird;

// A failure of the services client: the library missing, the server unreachable, the login
// refused, an action refused, or an answer that makes no sense. `what()` tells which (UTF-8).
class ErroServicoFirebird : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Client of a Firebird server's security service (the users of its security database),
// through the Services API of the client library loaded at run time. Every operation blocks
// until the server answers and throws ErroServicoFirebird when it fails.
class TServicoSeguranca : public QObject {
    Q_OBJECT
public:
    explicit TServicoSeguranca(QObject* dono = nullptr);
    ~TServicoSeguranca() override; // detaches, quietly, when still attached

    // Settings, read by Anexa.
    QString NomeServidor = QStringLiteral("127.0.0.1"); // TCP; "host/port" names another port
    QStringList Parametros;                             // "user_name=...", "password=..."
    // Seconds the client waits for the server to take the connection (a peer that accepts the
    // TCP connection and says nothing); 0 leaves the client's own limit.
    int TempoLimiteConexao = 10;
    QString BibliotecaCliente; // the client library; NomeBibliotecaClienteFirebird() by default
    // Size of the buffer for each answer of isc_service_query (a long list comes in pieces).
    unsigned short TamanhoResposta = 16384;

    // The user that IncluiUsuario adds.
    UsuarioFirebird Usuario;
    QByteArray Senha;

    // "<server>:service_mgr".
    QString NomeServico() const;
    bool Ativo() const { return servico_ != 0; }

    void Anexa();
    // Detaches when attached; the connection counts as closed even when the call fails.
    void Desanexa();
    // Lists every user of the security database into Usuarios().
    void ListaUsuarios();
    const QList<UsuarioFirebird>& Usuarios() const { return usuarios_; }
    // Adds Usuario with Senha and waits until the server has carried the action out.
    void IncluiUsuario();

private:
    void Inicia(const QByteArray& pedido);
    QByteArray Consulta(std::uint8_t item);
    [[noreturn]] void Falha(const char* chamada) const;
    void AguardaFimDaAcao();

    const ClienteFirebird* cliente_ = nullptr;
    fb::Handle servico_{};
    fb::IscStatus status_[fb::TamanhoVetorStatus] = {};
    QList<UsuarioFirebird> usuarios_;
};
