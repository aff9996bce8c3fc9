// Draws the main window's pictures (banner, module buttons, settings button, window icon)
// into src/principal/figuras. Run by hand when a picture changes; the PNGs are committed.
//
//   g++ -std=c++20 -fPIC scripts/gera_figuras.cpp -o /tmp/gera_figuras \
//       $(pkg-config --cflags --libs Qt6Gui)
//   QT_QPA_PLATFORM=offscreen /tmp/gera_figuras src/principal/figuras
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {

const QColor kMarinho(0x1F, 0x3A, 0x68);

QImage Nova(int l, int a) {
    QImage img(l, a, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void Banner(const QString& pasta) {
    QImage img = Nova(301, 72);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fundo(0, 0, 301, 72);
    fundo.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
    fundo.setColorAt(1, QColor(0xD6, 0xE4, 0xF5));
    p.fillRect(img.rect(), fundo);
    // A sweep of two arcs behind the name.
    QPainterPath arco;
    arco.moveTo(0, 60);
    arco.cubicTo(90, 30, 200, 80, 301, 40);
    arco.lineTo(301, 72);
    arco.lineTo(0, 72);
    arco.closeSubpath();
    p.fillPath(arco, QColor(0x1F, 0x3A, 0x68, 40));
    QPainterPath arco2;
    arco2.moveTo(0, 68);
    arco2.cubicTo(110, 44, 190, 86, 301, 56);
    arco2.lineTo(301, 72);
    arco2.lineTo(0, 72);
    arco2.closeSubpath();
    p.fillPath(arco2, QColor(0x1F, 0x3A, 0x68, 60));
    // The mark: a V in a rounded square.
    QPainterPath quadro;
    quadro.addRoundedRect(QRectF(12, 16, 38, 38), 8, 8);
    p.fillPath(quadro, kMarinho);
    p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(21, 26), QPointF(31, 45), QPointF(41, 26)}));
    QFont nome(QStringLiteral("Liberation Sans"));
    nome.setPixelSize(30);
    nome.setBold(true);
    nome.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(nome);
    p.setPen(kMarinho);
    p.drawText(QRect(58, 12, 160, 34), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("VELTO"));
    QFont sub(QStringLiteral("Liberation Sans"));
    sub.setPixelSize(12);
    sub.setItalic(true);
    p.setFont(sub);
    p.setPen(QColor(0x3C, 0x5A, 0x8A));
    p.drawText(QRect(60, 44, 150, 16), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Gerenciador"));
    p.end();
    img.save(pasta + QStringLiteral("/banner.png"));
}

void Modulo(const QString& pasta, int numero, const QString& sigla, QColor cor) {
    QImage img = Nova(24, 24);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath quadro;
    quadro.addRoundedRect(QRectF(1, 1, 22, 22), 5, 5);
    QLinearGradient g(0, 0, 0, 24);
    g.setColorAt(0, cor.lighter(125));
    g.setColorAt(1, cor.darker(115));
    p.fillPath(quadro, g);
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(10);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, 24, 24), Qt::AlignCenter, sigla);
    p.end();
    img.save(pasta + QStringLiteral("/modulo%1.png").arg(numero, 2, 10, QLatin1Char('0')));
}

void Engrenagem(const QString& pasta) {
    QImage img = Nova(20, 20);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(10, 10);
    QPainterPath dentes;
    for (int i = 0; i < 8; ++i) {
        QPainterPath dente;
        dente.addRoundedRect(QRectF(-2, -9.5, 4, 6), 1, 1);
        dentes.addPath(QTransform().rotate(i * 45).map(dente));
    }
    QPainterPath corpo;
    corpo.addEllipse(QPointF(0, 0), 6.5, 6.5);
    QPainterPath furo;
    furo.addEllipse(QPointF(0, 0), 2.5, 2.5);
    p.fillPath(dentes.united(corpo).subtracted(furo), QColor(0x55, 0x5F, 0x6D));
    p.end();
    img.save(pasta + QStringLiteral("/configuracoes.png"));
}

void Icone(const QString& pasta) {
    QImage img = Nova(32, 32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath quadro;
    quadro.addRoundedRect(QRectF(1, 1, 30, 30), 7, 7);
    p.fillPath(quadro, kMarinho);
    p.setPen(QPen(Qt::white, 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(8, 9), QPointF(16, 24), QPointF(24, 9)}));
    p.end();
    img.save(pasta + QStringLiteral("/velto.png"));
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString pasta = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(pasta);
    Banner(pasta);
    Engrenagem(pasta);
    Icone(pasta);
    struct {
        int numero;
        const char* sigla;
        QRgb cor;
    } const modulos[] = {
        {1, "AD", 0x1F3A68},  {2, "FI", 0x2E7D32},  {3, "ES", 0x8D6E63},  {4, "CX", 0xF9A825},
        {5, "SA", 0x00838F},  {6, "SV", 0x5E35B1},  {7, "CA", 0xC62828},  {8, "AG", 0x558B2F},
        {9, "PA", 0x6D4C41},  {10, "VA", 0xEF6C00}, {11, "NF", 0x283593}, {12, "VD", 0xAD1457},
        {14, "NA", 0x0277BD}, {15, "CS", 0xD81B60}, {16, "OB", 0x455A64}, {17, "FR", 0x4E342E},
        {18, "TB", 0x1565C0}, {19, "TI", 0x6A1B9A}, {20, "LE", 0x00695C},
    };
    for (const auto& m : modulos)
        Modulo(pasta, m.numero, QLatin1String(m.sigla), QColor(m.cor));
    return 0;
}
