// The program as the tests run it as a process: the real start-up, with two differences. When
// GERENCIADOR_REGISTRO_MENSAGENS names a file, each message box is written there and answered
// OK instead of shown (see support/RegistroMensagens.h). When GERENCIADOR_MARCA_JANELA names a
// file, the process id is written there once the main window shows (the copy got past its
// single-instance test). The program that ships reads no such variable: a box answered OK
// behind the user's back could end it (the update question).
#include "common/Aplicacao.h"
#include "startup/Inicio.h"
#include "support/RegistroMensagens.h"

#include <QSaveFile>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    Aplicacao app(argc, argv);
    const QString registro = qEnvironmentVariable("GERENCIADOR_REGISTRO_MENSAGENS");
    if (!registro.isEmpty())
        RegistraMensagensEm(registro);
    QTimer olheiro;
    const QString marca = qEnvironmentVariable("GERENCIADOR_MARCA_JANELA");
    if (!marca.isEmpty()) {
        QObject::connect(&olheiro, &QTimer::timeout, [&olheiro, marca] {
            for (const QWidget* w : QApplication::topLevelWidgets()) {
                if (!w->isVisible() || !w->inherits("TFrmPrincipal"))
                    continue;
                QSaveFile f(marca); // whole or not at all: the test reads it meanwhile
                if (f.open(QIODevice::WriteOnly) &&
                    f.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n') > 0 &&
                    f.commit())
                    olheiro.stop();
            }
        });
        olheiro.start(20);
    }
    return ExecutaGerenciador();
}
