#include "common/Aplicacao.h"

#include "common/Mensagem.h"
#include "common/Traducao.h"

#include <exception>

Aplicacao::Aplicacao(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Gerenciador"));
    CarregaTraducaoQt();
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
