#include "support/GravadorMensagens.h"

#include <QTest>

GravadorMensagens::GravadorMensagens() {
    DefineRespondeMensagem([this](const PedidoMensagem& pedido) {
        pedidos_.append(pedido);
        if (aoMostrar_)
            aoMostrar_(pedido);
        // A box with only OK has nothing to choose and leaves the scripted answers to the
        // boxes that offer a choice.
        if (pedido.botoes == BotoesMensagem::Ok)
            return RespostaMensagem::Ok;
        if (!respostas_.isEmpty())
            return respostas_.dequeue();
        QTest::qFail(qPrintable(QStringLiteral("caixa sem resposta prevista: ") + pedido.texto),
                     __FILE__, __LINE__);
        return RespostaMensagem::Cancelar;
    });
}

GravadorMensagens::~GravadorMensagens() {
    DefineRespondeMensagem({});
}

QStringList GravadorMensagens::Textos() const {
    QStringList r;
    for (const PedidoMensagem& p : pedidos_)
        r.append(p.texto);
    return r;
}
