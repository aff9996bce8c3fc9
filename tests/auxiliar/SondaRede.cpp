// The connection editor in include mode with this platform's network browser, for tests and
// benchmarks that run it where the machines are (inside a network namespace). Each machine its
// tree gains or loses is one line on stdout, with the milliseconds since the program started;
// a first line says when the editor was shown:
//   <ms> pronto
//   <ms> + <group>/<machine>
//   <ms> - <group>/<machine>
// It ends when its standard input closes. With --remota the editor switches to a remote
// connection once shown, so that its tree is enabled (for screenshots).
#include "conexoes/Conexoes.h"
#include "conexoes/NavegadorRede.h"

#include <QApplication>
#include <QRadioButton>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    QElapsedTimer relogio;
    relogio.start();
    QApplication app(argc, argv);
    TFrmConexoes editor;
    editor.Tag = 0;
    const auto escreve = [&](char sinal, const QString& grupo, const QString& nome) {
        std::printf("%lld %c %s/%s\n", static_cast<long long>(relogio.elapsed()), sinal,
                    qPrintable(grupo), qPrintable(nome));
        std::fflush(stdout);
    };
    QObject::connect(editor.Navegador(), &NavegadorRede::MaquinaAdicionada, &app,
                     [&](const QString& g, const QString& n) { escreve('+', g, n); });
    QObject::connect(editor.Navegador(), &NavegadorRede::MaquinaRemovida, &app,
                     [&](const QString& g, const QString& n) { escreve('-', g, n); });
    QSocketNotifier entrada(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&entrada, &QSocketNotifier::activated, &app, [&] {
        char lixo[256];
        if (read(STDIN_FILENO, lixo, sizeof lixo) <= 0)
            QCoreApplication::exit(0); // quit() would ask the editor, which refuses
    });
    editor.show();
    if (app.arguments().contains(QStringLiteral("--remota")))
        editor.findChild<QRadioButton*>(QStringLiteral("RdBtnRemota"))->click();
    std::printf("%lld pronto\n", static_cast<long long>(relogio.elapsed()));
    std::fflush(stdout);
    return app.exec();
}
