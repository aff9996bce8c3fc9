#include "common/Edicao.h"

#include "common/Plataforma.h"
#include "common/Texto.h"

QString NomePastaDoExecutavel(const QString& caminhoExecutavel) {
    const QString pasta = MaiusculasAscii(Plataforma::PastaDoCaminho(caminhoExecutavel));
    return Plataforma::UltimoComponente(pasta);
}

Edicao EdicaoDaPasta(const QString& nomePasta) {
    const QString nome = MaiusculasAscii(nomePasta);
    const qsizetype tamanho = Apara(nome).size();
    if (nome == QLatin1String("EMPRESA") || tamanho == 7)
        return Edicao::Empresa;
    if (nome == QLatin1String("CARTORIO") || tamanho == 8)
        return Edicao::Cartorio;
    return Edicao::Nenhuma;
}

QString NomeEdicao(Edicao edicao) {
    switch (edicao) {
    case Edicao::Empresa:
        return QStringLiteral("Empresa");
    case Edicao::Cartorio:
        return QStringLiteral("Cartório");
    case Edicao::Nenhuma:
        break;
    }
    return {};
}

QString TituloPrincipal(Edicao edicao) {
    return QStringLiteral("VELTO ") + NomeEdicao(edicao);
}
