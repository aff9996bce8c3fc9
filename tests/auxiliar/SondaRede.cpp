// The connection editor in include mode with this platform's network browser, for tests and
// benchmarks that run it where the machines are (inside a network namespace). Each machine its
// tree gains or loses is one line on stdout, with the milliseconds since the program started;
// a first line says when the editor was shown:
//   <ms> pronto
//   <ms> + <group>/<machine>
//   <ms> - <group>/<machine>
//   <ms> * <group>/<machine> <its node's tooltip>   (its Firebird port answered)
//   <ms> @ <group>/<machine> <address>              (where the tree saw it, once known: what
//                                                    "Capturar" with "IP" gives)
// It ends when its standard input closes (read on a thread of its own: on Windows a pipe is no
// socket to watch). With --rodada MS the WS-Discovery rounds come every MS ms. With --remota the
// editor switches to a remote connection once shown, so that its tree is enabled (for screenshots);
// with --dica the tooltip of each node marked is shown at the node. With --atraso a timer probes
// the event loop every 10 ms and, once a second, a line gives the largest lateness of that second
// (how long the window could not answer):
//   <ms> atraso <lateness ms>
#include "conexoes/Conexoes.h"
#include "conexoes/DescobertaWs.h"
#include "conexoes/NavegadorRede.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <cstdio>
#include <thread>

int main(int argc, char** argv) {
    QElapsedTimer relogio;
    relogio.start();
    QApplication app(argc, argv);
    const qsizetype rodada = app.arguments().indexOf(QStringLiteral("--rodada"));
    if (rodada > 0)
        DescobertaWs::DefineIntervaloRodadas(app.arguments().value(rodada + 1).toInt());
    TFrmConexoes editor;
    editor.Tag = 0;
    const auto escreve = [&](char sinal, const QString& grupo, const QString& nome) {
        std::printf("%lld %c %s/%s\n", static_cast<long long>(relogio.elapsed()), sinal,
                    qPrintable(grupo), qPrintable(nome));
        std::fflush(stdout);
    };
    QHash<QString, QString> enderecos; // printed, by machine
    const auto endereco = [&](const QString& g, const QString& n) {
        const QHostAddress e = editor.Navegador()->EnderecoConhecido(n);
        if (e.isNull() || enderecos.value(n) == e.toString())
            return;
        enderecos.insert(n, e.toString());
        std::printf("%lld @ %s/%s %s\n", static_cast<long long>(relogio.elapsed()), qPrintable(g),
                    qPrintable(n), qPrintable(e.toString()));
        std::fflush(stdout);
    };
    QObject::connect(editor.Navegador(), &NavegadorRede::MaquinaAdicionada, &app,
                     [&](const QString& g, const QString& n) {
                         escreve('+', g, n);
                         endereco(g, n);
                     });
    QObject::connect(editor.Navegador(), &NavegadorRede::MaquinaRemovida, &app,
                     [&](const QString& g, const QString& n) { escreve('-', g, n); });
    auto* arvore = editor.findChild<QTreeWidget*>(QStringLiteral("ShTVRede"));
    const bool dica = app.arguments().contains(QStringLiteral("--dica"));
    QObject::connect(
        editor.Navegador(), &NavegadorRede::ServidorFirebird, &app,
        [&](const QString& g, const QString& n) {
            const auto nos = arvore->findItems(n, Qt::MatchExactly | Qt::MatchRecursive);
            QTreeWidgetItem* no = nos.isEmpty() ? nullptr : nos.constFirst();
            std::printf("%lld * %s/%s %s\n", static_cast<long long>(relogio.elapsed()),
                        qPrintable(g), qPrintable(n), no ? qPrintable(no->toolTip(0)) : "");
            std::fflush(stdout);
            endereco(g, n);
            if (dica) // once the window has settled; the node may be gone by then
                QTimer::singleShot(300, arvore, [arvore, n] {
                    const auto nos = arvore->findItems(n, Qt::MatchExactly | Qt::MatchRecursive);
                    if (nos.isEmpty())
                        return;
                    const QRect r = arvore->visualItemRect(nos.constFirst());
                    QToolTip::showText(arvore->viewport()->mapToGlobal(r.center()),
                                       nos.constFirst()->toolTip(0), arvore->viewport());
                });
        });
    std::thread([&app] {
        char lixo[256];
        while (std::fgets(lixo, sizeof lixo, stdin)) {
        }
        // quit() would ask the editor, which refuses
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    }).detach();
    // The event loop's latency: how late a 10 ms timer fires.
    QTimer sonda;
    QElapsedTimer desde;
    qint64 pior = 0;
    qint64 segundo = 0;
    if (app.arguments().contains(QStringLiteral("--atraso"))) {
        sonda.setTimerType(Qt::PreciseTimer);
        QObject::connect(&sonda, &QTimer::timeout, &app, [&] {
            pior = qMax(pior, desde.restart() - 10);
            if (relogio.elapsed() / 1000 != segundo) {
                segundo = relogio.elapsed() / 1000;
                std::printf("%lld atraso %lld\n", static_cast<long long>(relogio.elapsed()),
                            static_cast<long long>(pior));
                std::fflush(stdout);
                pior = 0;
            }
        });
        desde.start();
        sonda.start(10);
    }
    editor.show();
    if (app.arguments().contains(QStringLiteral("--remota")))
        editor.findChild<QRadioButton*>(QStringLiteral("RdBtnRemota"))->click();
    std::printf("%lld pronto\n", static_cast<long long>(relogio.elapsed()));
    std::fflush(stdout);
    return app.exec();
}
