#include "common/Mensagem.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

RespondeMensagem& Responde() {
    static RespondeMensagem responde;
    return responde;
}

} // namespace

const char* NomeIcone(IconeMensagem icone) {
    switch (icone) {
    case IconeMensagem::Informacao:
        return "informacao";
    case IconeMensagem::Aviso:
        return "aviso";
    case IconeMensagem::Erro:
        return "erro";
    case IconeMensagem::Exclamacao:
        return "exclamacao";
    }
    return "?";
}

void DefineRespondeMensagem(RespondeMensagem responde) {
    Responde() = std::move(responde);
}

RespostaMensagem MostraMensagem(const QString& texto, const QString& titulo, IconeMensagem icone,
                                BotoesMensagem botoes, const QString& extra) {
    const PedidoMensagem pedido{texto, titulo, icone, botoes,
                                botoes == BotoesMensagem::OkCancelar ? extra : QString()};
    if (Responde())
        return Responde()(pedido);

    QMessageBox::Icon qicone = QMessageBox::Information;
    switch (icone) {
    case IconeMensagem::Informacao:
        qicone = QMessageBox::Information;
        break;
    case IconeMensagem::Aviso:
    case IconeMensagem::Exclamacao: // one and the same icon on Windows too
        qicone = QMessageBox::Warning;
        break;
    case IconeMensagem::Erro:
        qicone = QMessageBox::Critical;
        break;
    }
    QString mostrado = texto;
    mostrado.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    QMessageBox caixa(qicone, titulo, mostrado,
                      botoes == BotoesMensagem::Ok ? QMessageBox::Ok
                                                   : QMessageBox::Ok | QMessageBox::Cancel,
                      QApplication::activeWindow());
    caixa.setTextFormat(Qt::PlainText);
    caixa.setDefaultButton(QMessageBox::Ok);
    const QAbstractButton* terceiro =
        pedido.extra.isEmpty() ? nullptr : caixa.addButton(pedido.extra, QMessageBox::ActionRole);
    const int r = caixa.exec();
    if (terceiro && caixa.clickedButton() == terceiro)
        return RespostaMensagem::Extra;
    if (botoes == BotoesMensagem::OkCancelar && r != QMessageBox::Ok)
        return RespostaMensagem::Cancelar;
    return RespostaMensagem::Ok;
}

void ExibeErroGeral(const QString& mensagem) {
    MostraMensagem(mensagem, QStringLiteral("Gerenciador"), IconeMensagem::Erro);
}
