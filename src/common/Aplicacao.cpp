#include "common/Aplicacao.h"

#include "common/Mensagem.h"
#include "common/Tipografia.h"
#include "common/Traducao.h"

#include <exception>

Aplicacao::Aplicacao(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Gerenciador"));
    CarregaTraducaoQt();
    // Message boxes and Qt's own dialogs: a family this system has (the forms set theirs).
    QFont fonte = font();
    fonte.setFamily(FamiliaDe(Tipografia::Interface));
    setFont(fonte);
}

bool Aplicacao::notify(QObject* receptor, QEvent* evento) {
    try {
        return QApplication::notify(receptor, evento);
    } catch (const std::exception& e) {
        ExibeErroGeral(QString::fromUtf8(e.what()));
    } catch (...) {
        ExibeErroGeral(QStringLiteral("Erro desconhecido."));
    }
    return false;
}
