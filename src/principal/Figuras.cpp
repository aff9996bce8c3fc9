#include "principal/Figuras.h"

#include <QApplication>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

namespace {

class MotorFigura : public QIconEngine {
public:
    explicit MotorFigura(QString recurso) : recurso_(std::move(recurso)) {}

    void paint(QPainter* pintor, const QRect& area, QIcon::Mode modo,
               QIcon::State estado) override {
        const QPixmap figura = pixmap(area.size(), modo, estado);
        if (figura.isNull())
            return;
        QRect alvo(QPoint(), figura.size());
        alvo.moveCenter(area.center());
        pintor->drawPixmap(alvo, figura);
    }

    QPixmap pixmap(const QSize& tamanho, QIcon::Mode modo, QIcon::State) override {
        QPixmap figura = Original();
        if (figura.isNull())
            return figura;
        if (figura.width() > tamanho.width() || figura.height() > tamanho.height())
            figura = figura.scaled(tamanho, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (modo != QIcon::Normal && modo != QIcon::Active && qobject_cast<QApplication*>(qApp)) {
            QStyleOption opcao;
            opcao.palette = QApplication::palette();
            return QApplication::style()->generatedIconPixmap(modo, figura, &opcao);
        }
        return figura;
    }

    QSize actualSize(const QSize& tamanho, QIcon::Mode, QIcon::State) override {
        QSize real = Original().size();
        if (real.width() > tamanho.width() || real.height() > tamanho.height())
            real.scale(tamanho, Qt::KeepAspectRatio);
        return real;
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        if (Original().isNull())
            return {};
        return {Original().size()};
    }

    QString key() const override { return QStringLiteral("MotorFigura"); }
    QIconEngine* clone() const override { return new MotorFigura(recurso_); }
    bool isNull() override { return false; }

private:
    const QPixmap& Original() {
        if (!lido_) {
            original_ = QPixmap::fromImage(LeFigura(recurso_));
            lido_ = true;
        }
        return original_;
    }

    QString recurso_;
    QPixmap original_;
    bool lido_ = false;
};

} // namespace

QImage LeFigura(const QString& recurso) {
    QImageReader leitor(recurso, "png");
    leitor.setAutoDetectImageFormat(false);
    return leitor.read();
}

QIcon IconeFigura(const QString& recurso) {
    return QIcon(new MotorFigura(recurso));
}
