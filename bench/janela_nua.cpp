// The yardstick of the start-up bench: a bare Qt window that quits at its first paint, as
// `arranque` does with the main window.
#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace {

class PrimeiraPintura : public QObject {
public:
    explicit PrimeiraPintura(QWidget* janela) : janela_(janela) {}

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override {
        if (evento->type() == QEvent::Paint && objeto == janela_) {
            QCoreApplication::instance()->removeEventFilter(this);
            QCoreApplication::exit(0);
        }
        return false;
    }

private:
    QWidget* janela_;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget janela;
    janela.resize(309, 404);
    janela.setWindowTitle(QStringLiteral("VELTO Empresa"));
    PrimeiraPintura filtro(&janela);
    app.installEventFilter(&filtro);
    janela.show();
    return QApplication::exec();
}
