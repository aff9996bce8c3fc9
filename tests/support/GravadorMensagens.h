#pragma once

#include "common/Mensagem.h"

#include <QList>
#include <QQueue>
#include <functional>

// Records every message box shown while it lives, instead of showing it. A box with a
// single OK button is answered Ok; a box that offers a choice takes the next scripted
// answer, and with none scripted fails the running test at once (and answers Cancelar)
// rather than hang it.
class GravadorMensagens {
public:
    GravadorMensagens();
    ~GravadorMensagens();
    GravadorMensagens(const GravadorMensagens&) = delete;
    GravadorMensagens& operator=(const GravadorMensagens&) = delete;

    void Responde(RespostaMensagem resposta) { respostas_.enqueue(resposta); }
    // Called with each box as it is shown, to look at the windows while it is up.
    void AoMostrar(std::function<void(const PedidoMensagem&)> f) { aoMostrar_ = std::move(f); }

    const QList<PedidoMensagem>& Pedidos() const { return pedidos_; }
    // The texts shown, in order.
    QStringList Textos() const;
    void Limpa() { pedidos_.clear(); }

private:
    QList<PedidoMensagem> pedidos_;
    QQueue<RespostaMensagem> respostas_;
    std::function<void(const PedidoMensagem&)> aoMostrar_;
};
