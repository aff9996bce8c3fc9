// Linked with the program's own main (src/startup/main.cpp) into `arranque`: the real start-up,
// ended by the main window's first paint. The program's path decides its folder, so the bench
// runs a copy placed in the demo installation (target bench_arranque).
#include "principal/Principal.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

class PrimeiraPintura : public QObject {
protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override {
        if (evento->type() == QEvent::Paint && FrmPrincipal && objeto == FrmPrincipal) {
            QCoreApplication::instance()->removeEventFilter(this);
            QCoreApplication::exit(0);
        }
        return false;
    }
};

// Runs when the application object is made, before main goes on to the start-up.
void InstalaFiltro() {
    QCoreApplication::instance()->installEventFilter(new PrimeiraPintura);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(InstalaFiltro)
