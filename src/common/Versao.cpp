#include "common/Versao.h"

namespace {

// The decimal text of n + 100, from character `inicio` (counting from 1), at most two.
QString Trecho(std::uint16_t n, qsizetype inicio) {
    return QString::number(int(n) + 100).mid(inicio - 1, 2);
}

} // namespace

QString FormataVersaoPrincipal(const Plataforma::Versao& v) {
    return Trecho(v[0], 3) + u'.' + Trecho(v[1], 3) + u'.' + Trecho(v[2], 3) + u'.' +
           Trecho(v[3], 2);
}

QString FormataVersaoSimples(const Plataforma::Versao& v) {
    return QString::number(v[0]) + u'.' + QString::number(v[1]) + u'.' + QString::number(v[2]) +
           u'.' + QString::number(v[3]);
}

QString VersaoPrincipalDoArquivo(const QString& caminho) {
    return FormataVersaoPrincipal(
        Plataforma::LeVersaoArquivo(caminho).value_or(Plataforma::Versao{}));
}

QString VersaoSimplesDoArquivo(const QString& caminho) {
    return FormataVersaoSimples(
        Plataforma::LeVersaoArquivo(caminho).value_or(Plataforma::Versao{}));
}

QString VersaoDoArquivo() {
    return VersaoSimplesDoArquivo(Plataforma::CaminhoExecutavel());
}
