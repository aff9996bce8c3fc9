#include "common/Mensagem.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>

namespace {

RespondeMensagem& Responde() {
    static RespondeMensagem responde;
    return responde;
}

QString UmaLinha(QString texto) {
    return texto.replace(QLatin1String("\\"), QLatin1String("\\\\"))
        .replace(QLatin1String("\r"), QLatin1String("\\r"))
        .replace(QLatin1String("\n"), QLatin1String("\\n"))
        .replace(QLatin1String("\t"), QLatin1String("\\t"));
}

// GERENCIADOR_REGISTRO_MENSAGENS names a file: each box is appended to it as one line
// "caption<TAB>icon<TAB>text" in UTF-8 (backslash, CR, LF and TAB written as \\, \r, \n and
// \t, so that a line is always one box) and answered with Ok, none
// is shown. Tests that run the real executable read it to see what the program said.
bool RegistraEmArquivo(const PedidoMensagem& p) {
    static const QString arquivo = qEnvironmentVariable("GERENCIADOR_REGISTRO_MENSAGENS");
    if (arquivo.isEmpty())
        return false;
    QFile f(arquivo);
    if (f.open(QIODevice::Append)) {
        f.write((UmaLinha(p.titulo) + u'\t' + QLatin1String(NomeIcone(p.icone)) + u'\t' +
                 UmaLinha(p.texto) + u'\n')
                    .toUtf8());
    }
    return true;
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
                                BotoesMensagem botoes) {
    const PedidoMensagem pedido{texto, titulo, icone, botoes};
    if (Responde())
        return Responde()(pedido);
    if (RegistraEmArquivo(pedido))
        return RespostaMensagem::Ok;

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
    const int r = caixa.exec();
    if (botoes == BotoesMensagem::OkCancelar && r != QMessageBox::Ok)
        return RespostaMensagem::Cancelar;
    return RespostaMensagem::Ok;
}

void ExibeErroGeral(const QString& mensagem) {
    MostraMensagem(mensagem, QStringLiteral("Gerenciador"), IconeMensagem::Erro);
}
