// One FTP download through the program's own download thread (Th_Download: libcurl, active
// mode, temporary file, size check, rename), for bench/ftp.sh. Prints the seconds the download
// took, from the start of the thread to its result.
//
//   baixa_ftp PORT REMOTE_FOLDER REMOTE_FILE LOCAL_PATH [USER PASSWORD]
#include "menu/ThDownload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList a = QCoreApplication::arguments();
    if (a.size() < 5) {
        std::fprintf(stderr, "usage: baixa_ftp PORT FOLDER FILE LOCAL [USER PASSWORD]\n");
        return 2;
    }
    PedidoDownload p;
    p.host = QStringLiteral("127.0.0.1");
    p.porta = quint16(a[1].toUInt());
    p.pastaRemota = a[2];
    p.arquivoRemoto = a[3];
    p.caminhoLocal = a[4];
    p.usuario = a.value(5, QStringLiteral("supvestra"));
    p.senha = a.value(6, QStringLiteral("K7wR4#"));
    Th_Download* th = CriaDownload(p);
    QElapsedTimer relogio;
    int codigo = 1;
    QObject::connect(th, &Th_Download::Terminado, &app, [&](FimDownload fim, const QString& erro) {
        const double s = relogio.nsecsElapsed() / 1e9;
        if (fim == FimDownload::Concluido) {
            std::printf("%.3f\n", s);
            codigo = 0;
        } else {
            std::fprintf(stderr, "%s\n", qPrintable(erro));
        }
        app.quit();
    });
    relogio.start();
    th->start();
    app.exec();
    return codigo;
}
