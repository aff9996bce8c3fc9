#include "registro/Enderecos.h"

#include "common/Mensagem.h"

#include <QFutureWatcher>
#include <QPointer>
#include <QPromise>
#include <thread>

namespace {
void AvisaNaoLocalizado() {
    MostraMensagem(
        QStringLiteral("Endereço de IP não localizado!\rVerifique o computador escolhido."),
        QStringLiteral("Gerenciador"), IconeMensagem::Exclamacao);
}
} // namespace

QString GetIP(const QString& nomeComputador) {
    const QString ip = Enderecos::PrimeiroIPv4(nomeComputador);
    if (ip.isEmpty())
        AvisaNaoLocalizado();
    return ip;
}

void GetIPAssincrono(const QString& nomeComputador, QObject* contexto,
                     std::function<void()> resolvido, std::function<void(const QString&)> pronto) {
    // The watcher lives with the context: once it is gone, the answer has nobody to reach.
    auto* vigia = new QFutureWatcher<QString>(contexto);
    QObject::connect(
        vigia, &QFutureWatcherBase::finished, contexto,
        [vigia, contexto, resolvido = std::move(resolvido), pronto = std::move(pronto)] {
            const QString ip = vigia->result();
            vigia->deleteLater();
            if (resolvido)
                resolvido();
            // The message box turns the event loop: the context may go meanwhile.
            const QPointer<QObject> vivo(contexto);
            if (ip.isEmpty())
                AvisaNaoLocalizado();
            if (pronto && vivo)
                pronto(ip);
        });
    QPromise<QString> promessa;
    vigia->setFuture(promessa.future());
    promessa.start();
    // A resolver call cannot be interrupted, so the thread is not joined: it ends when the
    // resolver gives up, and its result then goes to a future nobody watches.
    std::thread([promessa = std::move(promessa), nome = nomeComputador]() mutable {
        promessa.addResult(Enderecos::PrimeiroIPv4(nome));
        promessa.finish();
    }).detach();
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
