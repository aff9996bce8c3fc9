// The yardsticks of the start-up bench: a bare Qt window that quits at its first paint, as
// `arranque` does with the main window; built with JANELA_COM_TEXTO (janela_texto), the same
// window holding one label and one button, so that it also starts the text machinery (font
// configuration, font files, shaping) that any window showing text needs.
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
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
#ifdef JANELA_COM_TEXTO
    auto* disposicao = new QVBoxLayout(&janela);
    disposicao->addWidget(new QLabel(QStringLiteral("Servidor em uso")));
    disposicao->addWidget(new QPushButton(QStringLiteral("&Financeiro")));
#endif
    PrimeiraPintura filtro(&janela);
    app.installEventFilter(&filtro);
    janela.show();
    return QApplication::exec();
}
