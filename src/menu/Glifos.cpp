#include "menu/Glifos.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

QIcon IconeGlifo(Glifo glifo) {
    QPixmap figura(16, 16);
    figura.fill(Qt::transparent);
    QPainter p(&figura);
    p.setRenderHint(QPainter::Antialiasing);
    switch (glifo) {
    case Glifo::Incluir: // a green plus
        p.setPen(QPen(QColor(0x1E, 0x8C, 0x2F), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(8, 3, 8, 13);
        p.drawLine(3, 8, 13, 8);
        break;
    case Glifo::Alterar: { // a pencil
        QPainterPath lapis;
        lapis.moveTo(3, 13);
        lapis.lineTo(4, 10);
        lapis.lineTo(11, 3);
        lapis.lineTo(13, 5);
        lapis.lineTo(6, 12);
        lapis.closeSubpath();
        p.setPen(QPen(QColor(0x5A, 0x40, 0x10), 1));
        p.setBrush(QColor(0xF2, 0xB7, 0x2E));
        p.drawPath(lapis);
        break;
    }
    case Glifo::Excluir: // a red cross
        p.setPen(QPen(QColor(0xC8, 0x1E, 0x1E), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(4, 4, 12, 12);
        p.drawLine(12, 4, 4, 12);
        break;
    case Glifo::Fechar: // a door with its arrow out
        p.setPen(QPen(QColor(0x37, 0x58, 0x68), 1.5));
        p.setBrush(QColor(0xDD, 0xE6, 0xEC));
        p.drawRect(QRectF(2.5, 2.5, 7, 11));
        p.setPen(QPen(QColor(0xC8, 0x1E, 0x1E), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(7, 8, 14, 8);
        p.drawLine(11, 5, 14, 8);
        p.drawLine(11, 11, 14, 8);
        break;
    }
    p.end();
    return QIcon(figura);
}
