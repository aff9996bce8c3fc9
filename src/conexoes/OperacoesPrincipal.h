#pragma once

#include <QPoint>
#include <QString>
#include <functional>

class QComboBox;
class QObject;
class QWidget;

// The main window's side as the settings panel and the connection editor see it: the registry
// operations, each of which reloads the window's two server lists, the server in use and its
// selector, the address lookup, and the window itself as the owner the forms open over. The
// main window implements it and hands it to the panel, which hands it to the editor; neither
// form sees the window's controls.
class OperacoesPrincipal {
public:
    virtual ~OperacoesPrincipal() = default;

    // The owner of the forms and the geometry they place themselves by.
    virtual QWidget* Janela() = 0;
    // Where the settings panel opens (left, top).
    virtual QPoint PosicaoMenu() const = 0;

    // Fills `alvo` with the registry's aliases, and the window's mirror list with the same
    // names.
    virtual void CarregarConexoes(QComboBox* alvo, bool selecionaAtivo) = 0;
    virtual void IncluiConexao(const QString& apelido, const QString& servidor, const QString& tipo,
                               const QString& aplicacao, const QString& status) = 0;
    virtual void AlteraConexao(const QString& apelidoAnterior, const QString& apelido,
                               const QString& servidor, const QString& tipo,
                               const QString& aplicacao, const QString& status) = 0;
    virtual void ExcluiConexao(const QString& apelido, bool anuncia) = 0;
    virtual quint16 ConexaoExiste(const QString& servidor, const QString& apelido) = 0;
    virtual bool MudaConexaoAtiva(const QString& apelido) = 0;

    // The servers listed (the mirror list's count).
    virtual int QuantidadeConexoes() const = 0;
    // The server in use: the selector's alias and index. Choosing another index only moves the
    // selector; CbxApelidoServidorChange then switches to what it shows.
    virtual QString ApelidoEmUso() const = 0;
    virtual int IndiceEmUso() const = 0;
    virtual void SelecionaEmUso(int indice) = 0;
    virtual void CbxApelidoServidorChange() = 0;

    // GetIPAssincrono (registro/Enderecos.h) on the window's behalf.
    virtual void GetIP(const QString& nomeComputador, QObject* contexto,
                       std::function<void()> resolvido,
                       std::function<void(const QString&)> pronto) = 0;
};
