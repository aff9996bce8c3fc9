// Saves a picture of what an X display shows: waits until a window has been drawn on the
// screen, crops the screen to the windows (everything that differs from the background colour
// of the corners) and writes a PNG. For screenshots of the real program under Xvfb.
//
//   captura FILE.png [seconds to wait, default 20]
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

// The background: the colour that most of the four corners show.
QRgb Fundo(const QImage& tela) {
    const int d = tela.width() - 1, b = tela.height() - 1;
    const QRgb cantos[] = {tela.pixel(0, 0), tela.pixel(d, 0), tela.pixel(0, b), tela.pixel(d, b)};
    QRgb melhor = cantos[0];
    long vezesMelhor = 0;
    for (QRgb c : cantos) {
        const long vezes = std::count(std::begin(cantos), std::end(cantos), c);
        if (vezes > vezesMelhor) {
            melhor = c;
            vezesMelhor = vezes;
        }
    }
    return melhor;
}

QRect Janelas(const QImage& tela) {
    const QRgb fundo = Fundo(tela);
    int x0 = tela.width(), y0 = tela.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < tela.height(); ++y) {
        const auto* linha = reinterpret_cast<const QRgb*>(tela.constScanLine(y));
        for (int x = 0; x < tela.width(); ++x) {
            if (linha[x] == fundo)
                continue;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
        }
    }
    return x1 < 0 ? QRect() : QRect(QPoint(x0, y0), QPoint(x1, y1));
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "uso: captura ARQUIVO.png [segundos]\n");
        return 2;
    }
    const QString destino = QString::fromLocal8Bit(argv[1]);
    const int segundos = argc > 2 ? std::atoi(argv[2]) : 20;
    QScreen* tela = QGuiApplication::primaryScreen();
    QElapsedTimer relogio;
    relogio.start();
    QImage anterior;
    while (relogio.elapsed() < segundos * 1000) {
        const QImage agora = tela->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
        // Drawn and settled: something on the screen, and the same in two looks in a row.
        if (!Janelas(agora).isNull() && agora == anterior) {
            if (!agora.copy(Janelas(agora)).save(destino)) {
                std::fprintf(stderr, "captura: não gravou %s\n", argv[1]);
                return 1;
            }
            return 0;
        }
        anterior = agora;
        QThread::msleep(300);
    }
    std::fprintf(stderr, "captura: nenhuma janela apareceu em %d s\n", segundos);
    return 1;
}
