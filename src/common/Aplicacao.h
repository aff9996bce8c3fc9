#pragma once

#include <QApplication>

// The application object: an error that no handler catches reaches the general error display
// (ExibeErroGeral) instead of ending the program. Qt's own texts are in Portuguese.
class Aplicacao : public QApplication {
public:
    Aplicacao(int& argc, char** argv);
    bool notify(QObject* receptor, QEvent* evento) override;
};
