#include "principal/Enderecos.h"

#include "common/Mensagem.h"

QString GetIP(const QString& nomeComputador) {
    const QString ip = Enderecos::PrimeiroIPv4(nomeComputador);
    if (ip.isEmpty())
        MostraMensagem(
            QStringLiteral("Endereço de IP não localizado!\rVerifique o computador escolhido."),
            QStringLiteral("Gerenciador"), IconeMensagem::Exclamacao);
    return ip;
}

bool ValidaIP(QStringView texto) {
    if (texto.isEmpty() || texto.size() > 15)
        return false;
    int pontos = 0;
    int desdeOPonto = 0;
    for (qsizetype i = 0; i < texto.size(); ++i) {
        if (texto[i] == u'.') {
            ++pontos;
            if (desdeOPonto > 3)
                return false;
            desdeOPonto = 0;
        } else {
            ++desdeOPonto;
        }
        if (pontos == 3 && texto.size() - 1 - i > 3)
            return false;
    }
    return pontos == 3;
}
