#include "support/RegistroMensagens.h"

#include "common/Mensagem.h"

#include <QFile>

namespace {

QString UmaLinha(QString texto) {
    return texto.replace(QLatin1String("\\"), QLatin1String("\\\\"))
        .replace(QLatin1String("\r"), QLatin1String("\\r"))
        .replace(QLatin1String("\n"), QLatin1String("\\n"))
        .replace(QLatin1String("\t"), QLatin1String("\\t"));
}

} // namespace

void RegistraMensagensEm(const QString& arquivo) {
    DefineRespondeMensagem([arquivo](const PedidoMensagem& p) {
        QFile f(arquivo);
        if (f.open(QIODevice::Append)) {
            f.write((UmaLinha(p.titulo) + u'\t' + QLatin1String(NomeIcone(p.icone)) + u'\t' +
                     UmaLinha(p.texto) + u'\n')
                        .toUtf8());
        }
        return RespostaMensagem::Ok;
    });
}
