#include "support/GravadorMensagens.h"

#include <QTest>

GravadorMensagens::GravadorMensagens() {
    DefineRespondeMensagem([this](const PedidoMensagem& pedido) {
        pedidos_.append(pedido);
        if (!respostas_.isEmpty())
            return respostas_.dequeue();
        if (pedido.botoes == BotoesMensagem::Ok)
            return RespostaMensagem::Ok;
        QTest::qFail(qPrintable(QStringLiteral("caixa sem resposta prevista: ") + pedido.texto),
                     __FILE__, __LINE__);
        return RespostaMensagem::Cancelar;
    });
}

GravadorMensagens::~GravadorMensagens() { DefineRespondeMensagem({}); }

QStringList GravadorMensagens::Textos() const {
    QStringList r;
    for (const PedidoMensagem& p : pedidos_)
        r.append(p.texto);
    return r;
}
