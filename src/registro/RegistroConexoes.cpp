#include "registro/RegistroConexoes.h"

#include "common/ArquivoIni.h"
#include "common/Mensagem.h"
#include "common/Texto.h"

#include <QCollator>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <numeric>
#include <vector>

namespace RegistroConexoes {

namespace {

const QString kServidor = QStringLiteral("Servidor");
const QString kTipo = QStringLiteral("Tipo");
const QString kAplicacao = QStringLiteral("Aplicação");
const QString kStatus = QStringLiteral("Status");

QString Titulo() {
    return QString::fromUtf16(kTituloMensagem);
}

QString CaminhoConexoes(const QString& pasta) {
    return pasta + QString::fromUtf16(kArquivoConexoes);
}

void ErroArquivoConexoes() {
    MostraMensagem(QStringLiteral("Não foi possível abrir o arquivo de conexões!"), Titulo(),
                   IconeMensagem::Erro);
}

// Case-insensitive alphabetical order of the visible selector; equal names keep file order.
// Returns the file index of each list position. A long list is sorted by collation keys, made
// once per name and compared as bytes (they order as the collator does): comparing names
// directly costs fewer instructions, but on a very large registry the n log n comparisons walk
// all over the memory and the keys win.
std::vector<qsizetype> OrdenaApelidos(const QStringList& secoes) {
    constexpr qsizetype kNomesParaChaves = 20000;
    QCollator colador{QLocale(QLocale::Portuguese, QLocale::Brazil)};
    colador.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<qsizetype> ordem(secoes.size());
    std::iota(ordem.begin(), ordem.end(), 0);
    // Windows' sort keys were seen to order hyphenated names unlike its comparison: the keys
    // are used only where both give one order.
#ifdef Q_OS_WIN
    constexpr bool kChavesConcordam = false;
#else
    constexpr bool kChavesConcordam = true;
#endif
    if (!kChavesConcordam || secoes.size() < kNomesParaChaves) {
        std::stable_sort(ordem.begin(), ordem.end(), [&](qsizetype a, qsizetype b) {
            return colador.compare(secoes[a], secoes[b]) < 0;
        });
        return ordem;
    }
    std::vector<QCollatorSortKey> chaves;
    chaves.reserve(std::size_t(secoes.size()));
    for (const QString& secao : secoes)
        chaves.push_back(colador.sortKey(secao));
    std::stable_sort(ordem.begin(), ordem.end(), [&](qsizetype a, qsizetype b) {
        return chaves[std::size_t(a)].compare(chaves[std::size_t(b)]) < 0;
    });
    return ordem;
}

QString ApelidoServidorEm(const ArquivoIni& ini, const QString& servidor) {
    const QString gravado = ServidorComoGravado(servidor);
    const QStringList secoes = ini.Secoes();
    for (const QString& secao : secoes)
        if (ini.LeTexto(secao, kServidor) == gravado)
            return secao;
    return {};
}

// A name or value never spans lines in the file: a line break is written as a blank.
QString UmaLinha(QString texto) {
    texto.replace(u'\r', u' ');
    texto.replace(u'\n', u' ');
    return texto;
}

bool EstaEmBranco(const QString& texto) {
    return Apara(texto).isEmpty();
}

// Writes one entry, after removing the section `anterior` when given, in one replace of the
// file: either both reach the disk or neither does.
Gravacao GravaConexao(const QString& pastaPrograma, const QString* anterior, const QString& apelido,
                      const QString& servidor, const QString& tipo, const QString& aplicacao,
                      const QString& status) {
    if (EstaEmBranco(apelido) || EstaEmBranco(servidor) || EstaEmBranco(tipo) ||
        EstaEmBranco(aplicacao))
        return Gravacao::Recusada;

    ArquivoIni ini(CaminhoConexoes(pastaPrograma));
    if (anterior)
        ini.ApagaSecao(*anterior);
    ini.GravaTexto(apelido, kServidor, servidor);
    ini.GravaTexto(apelido, kTipo, tipo);
    ini.GravaTexto(apelido, kAplicacao, aplicacao);
    ini.GravaTexto(apelido, kStatus, status);
    if (!ini.Grava()) {
        ErroArquivoConexoes();
        return Gravacao::Falhou;
    }
    return Gravacao::Gravada;
}

} // namespace

QString ApelidoComoGravado(const QString& apelido) {
    return UmaLinha(Apara(apelido));
}

QString ServidorComoGravado(const QString& servidor) {
    QString v = UmaLinha(servidor);
    for (;;) {
        v = Apara(v);
        if (v.size() < 2 || (v.front() != u'"' && v.front() != u'\'') || v.back() != v.front())
            return v;
        v = v.sliced(1, v.size() - 2);
    }
}

ListaConexoes CarregarConexoes(const QString& pastaPrograma, bool selecionaAtivo) {
    ListaConexoes r;
    const ArquivoIni ini(CaminhoConexoes(pastaPrograma));
    if (!ini.LeituraOk()) {
        r.leituraOk = false;
        ErroArquivoConexoes();
        return r;
    }
    const QStringList secoes = ini.Secoes();
    const std::vector<qsizetype> ordem = OrdenaApelidos(secoes);
    r.apelidos.reserve(secoes.size());
    r.espelho.reserve(secoes.size());
    for (qsizetype i : ordem) {
        r.apelidos.append(secoes[i]);
        r.espelho.append(MaiusculasAscii(secoes[i]));
    }

    if (!selecionaAtivo) {
        r.selecionado = int(r.apelidos.size()) - 1;
        r.selecionadoEspelho = -1;
        return r;
    }
    // The first entry in list order marked active. The entries are read in file order, which
    // keeps a large registry's memory walk sequential; the list position decides.
    std::vector<qsizetype> posicao(ordem.size());
    for (std::size_t p = 0; p < ordem.size(); ++p)
        posicao[std::size_t(ordem[p])] = qsizetype(p);
    for (qsizetype i = 0; i < secoes.size(); ++i) {
        const auto p = int(posicao[std::size_t(i)]);
        if ((r.selecionado < 0 || p < r.selecionado) &&
            ini.LeTexto(secoes[i], kStatus) == QLatin1String("A"))
            r.selecionado = p;
    }
    r.selecionadoEspelho = r.selecionado;
    if (r.selecionado >= 0) {
        const QString& a = r.apelidos[r.selecionado];
        r.ativa = Conexao{ini.LeTexto(a, kServidor), ini.LeTexto(a, kTipo),
                          ini.LeTexto(a, kAplicacao), ini.LeTexto(a, kStatus)};
    }
    return r;
}

Gravacao IncluiConexao(const QString& pastaPrograma, const QString& apelido,
                       const QString& servidor, const QString& tipo, const QString& aplicacao,
                       const QString& status) {
    return GravaConexao(pastaPrograma, nullptr, apelido, servidor, tipo, aplicacao, status);
}

Gravacao AlteraConexao(const QString& pastaPrograma, const QString& apelidoAnterior,
                       const QString& apelido, const QString& servidor, const QString& tipo,
                       const QString& aplicacao, const QString& status) {
    return GravaConexao(pastaPrograma, &apelidoAnterior, apelido, servidor, tipo, aplicacao,
                        status);
}

Gravacao ExcluiConexao(const QString& pastaPrograma, const QString& apelido, bool anuncia) {
    ArquivoIni ini(CaminhoConexoes(pastaPrograma));
    ini.ApagaSecao(apelido);
    // An unreadable file fails even when the section seems absent: we cannot know.
    if (!ini.LeituraOk() || !ini.Grava()) {
        ErroArquivoConexoes();
        return Gravacao::Falhou;
    }
    if (anuncia)
        MostraMensagem(QStringLiteral("Conexão excluida com sucesso!"), Titulo(),
                       IconeMensagem::Informacao);
    return Gravacao::Gravada;
}

QString ApelidoServidor(const QString& pastaPrograma, const QString& servidor, bool* encerrar) {
    const ArquivoIni ini(CaminhoConexoes(pastaPrograma));
    if (!ini.LeituraOk()) {
        MostraMensagem(QStringLiteral("Erro ao abrir o arquivo de conexões."), Titulo(),
                       IconeMensagem::Erro);
        if (encerrar)
            *encerrar = true;
        return {};
    }
    return ApelidoServidorEm(ini, servidor);
}

quint16 ConexaoExiste(const QString& pastaPrograma, const QString& servidor, const QString& apelido,
                      bool* encerrar) {
    quint16 r = 0;
    {
        const ArquivoIni ini(CaminhoConexoes(pastaPrograma));
        const QString gravado = ApelidoComoGravado(apelido);
        const QStringList secoes = ini.Secoes();
        for (const QString& secao : secoes) {
            if (QString::compare(secao, gravado, Qt::CaseInsensitive) == 0) {
                r += 2;
                break;
            }
        }
    }
    if (!ApelidoServidor(pastaPrograma, servidor, encerrar).isEmpty())
        r += 1;
    return r;
}

bool MudaConexaoAtiva(const QString& pastaPrograma, const QString& apelido,
                      const QStringList& nomesEspelho) {
    if (EstaEmBranco(apelido))
        return false;
    ArquivoIni ini(CaminhoConexoes(pastaPrograma));
    for (const QString& nome : nomesEspelho)
        ini.GravaTexto(nome, kStatus, QStringLiteral("I"));
    ini.GravaTexto(apelido, kStatus, QStringLiteral("A"));
    if (!ini.Grava()) {
        ErroArquivoConexoes();
        return false;
    }
    return true;
}

QString SecaoDbx(const QString& nomePasta) {
    const bool cartorio =
        MaiusculasAscii(nomePasta) == QLatin1String("CARTORIO") || Apara(nomePasta).size() == 8;
    return cartorio ? QStringLiteral("CARTÓRIO") : QStringLiteral("EMPRESA");
}

QString ArquivoBanco(const QString& nomePasta) {
    return SecaoDbx(nomePasta) == QLatin1String("EMPRESA") ? QStringLiteral("VELTO.FDB")
                                                           : QStringLiteral("CARTORIO.FDB");
}

QString MontaDatabase(const QString& servidor, const QString& tipo, const QString& nomePasta) {
    const QString sep = tipo == QLatin1String("Linux") ? QStringLiteral("/") : QStringLiteral("\\");
    const QString arquivo = ArquivoBanco(nomePasta);
    return MaiusculasAscii(servidor + u':' + sep + QLatin1String("VELTOGDB") + sep + nomePasta +
                           sep + arquivo);
}

ValoresDbx ValoresDaTroca(const Conexao& conexao, const QString& nomePasta) {
    return {SecaoDbx(nomePasta), MontaDatabase(conexao.servidor, conexao.tipo, nomePasta),
            MaiusculasAscii(conexao.aplicacao)};
}

ConferenciaDbx ConfereDbx(const QString& pastaPrograma, const QString& nomePasta,
                          const std::optional<Conexao>& ativa) {
    using S = ConferenciaDbx::Situacao;
    ConferenciaDbx r;
    r.secao = SecaoDbx(nomePasta);
    const QString caminho = pastaPrograma + QString::fromUtf16(kArquivoDbx);
    const ArquivoIni dbx(caminho);
    const bool emUso = ativa.has_value();
    if (!dbx.LeituraOk()) {
        r.situacao = emUso ? S::Ilegivel : S::Concorda;
        return r;
    }
    r.database = dbx.LeTexto(r.secao, QStringLiteral("Database"));
    if (!emUso) {
        // Nothing in use: only a file that names a database says otherwise.
        if (!r.database.isEmpty())
            r.situacao = S::Difere;
    } else if (!dbx.ExisteSecao(r.secao)) {
        r.situacao = QFileInfo::exists(caminho) ? S::SemSecao : S::SemArquivo;
        return r;
    } else if (r.database.isEmpty()) {
        r.situacao = S::SemDatabase;
        return r;
    } else {
        const ValoresDbx esperado = ValoresDaTroca(*ativa, nomePasta);
        const QString aplicacao = dbx.LeTexto(r.secao, QStringLiteral("Servidor Aplicação"));
        if (MaiusculasAscii(r.database) != esperado.database) {
            r.situacao = S::Difere;
        } else if (MaiusculasAscii(aplicacao) != esperado.aplicacao) {
            r.situacao = S::Difere;
            r.soAplicacao = true;
            r.aplicacao = aplicacao;
            return r;
        }
    }
    if (r.situacao != S::Difere)
        return r;
    // Which entry the modules would open, if any.
    const ArquivoIni conexoes(CaminhoConexoes(pastaPrograma));
    const QString procurado = MaiusculasAscii(r.database);
    const QStringList secoes = conexoes.Secoes();
    for (const QString& secao : secoes) {
        if (MontaDatabase(conexoes.LeTexto(secao, kServidor), conexoes.LeTexto(secao, kTipo),
                          nomePasta) == procurado) {
            r.outro = secao;
            break;
        }
    }
    return r;
}

QString DescreveConferencia(const ConferenciaDbx& c, const QString& apelido) {
    using S = ConferenciaDbx::Situacao;
    switch (c.situacao) {
    case S::Concorda:
        return {};
    case S::SemArquivo:
        return QStringLiteral("O arquivo DBXCONNECTIONS.INI não existe.");
    case S::Ilegivel:
        return QStringLiteral("O arquivo DBXCONNECTIONS.INI não pôde ser lido.");
    case S::SemSecao:
        return QStringLiteral("O arquivo DBXCONNECTIONS.INI não tem a seção %1.").arg(c.secao);
    case S::SemDatabase:
        return QStringLiteral("A seção %1 do DBXCONNECTIONS.INI não tem Database.").arg(c.secao);
    case S::Difere:
        break;
    }
    QString texto;
    if (c.soAplicacao)
        texto = QStringLiteral("Os módulos vão usar o Servidor Aplicação %1, não o do servidor em "
                               "uso (%2).")
                    .arg(c.aplicacao, apelido);
    else if (apelido.isEmpty())
        texto = QStringLiteral("Os módulos vão abrir %1, mas nenhum servidor está em uso.")
                    .arg(c.database);
    else
        texto = QStringLiteral("Os módulos vão abrir %1, não o servidor em uso (%2).")
                    .arg(c.database, apelido);
    if (!c.outro.isEmpty())
        texto += QStringLiteral("\nEsse é o banco da conexão %1.").arg(c.outro);
    return texto;
}

bool AlteraDBXConnection(const QString& pastaPrograma, const QString& nomePasta,
                         const QString& apelido) {
    if (EstaEmBranco(apelido))
        return false;
    Conexao c;
    {
        const ArquivoIni conexoes(CaminhoConexoes(pastaPrograma));
        if (!conexoes.LeituraOk()) {
            ErroArquivoConexoes();
            return false;
        }
        c.servidor = conexoes.LeTexto(apelido, kServidor);
        c.tipo = conexoes.LeTexto(apelido, kTipo);
        c.aplicacao = conexoes.LeTexto(apelido, kAplicacao);
    }
    ArquivoIni dbx(pastaPrograma + QString::fromUtf16(kArquivoDbx));
    const ValoresDbx v = ValoresDaTroca(c, nomePasta);
    dbx.GravaTexto(v.secao, QStringLiteral("Database"), v.database);
    dbx.GravaTexto(v.secao, QStringLiteral("Servidor Aplicação"), v.aplicacao);
    if (!dbx.Grava()) {
        MostraMensagem(
            QStringLiteral("Não foi possível abrir o arquivo de conexão com o Banco de Dados!"),
            Titulo(), IconeMensagem::Erro);
        return false;
    }
    return true;
}

std::optional<Conexao> LeConexao(const QString& pastaPrograma, const QString& apelido) {
    const ArquivoIni ini(CaminhoConexoes(pastaPrograma));
    if (!ini.LeituraOk())
        return std::nullopt;
    return Conexao{ini.LeTexto(apelido, kServidor), ini.LeTexto(apelido, kTipo),
                   ini.LeTexto(apelido, kAplicacao), ini.LeTexto(apelido, kStatus)};
}

} // namespace RegistroConexoes

RegistroEstacao::RegistroEstacao(DadosInstalacao instalacao, QObject* pai)
    : QObject(pai), instalacao_(std::move(instalacao)) {}

RegistroConexoes::ListaConexoes RegistroEstacao::Carrega(bool selecionaAtivo) const {
    return RegistroConexoes::CarregarConexoes(instalacao_.PastaPrograma, selecionaAtivo);
}

RegistroConexoes::Gravacao RegistroEstacao::Inclui(const QString& apelido, const QString& servidor,
                                                   const QString& tipo, const QString& aplicacao,
                                                   const QString& status) {
    const auto r = RegistroConexoes::IncluiConexao(instalacao_.PastaPrograma, apelido, servidor,
                                                   tipo, aplicacao, status);
    if (r != RegistroConexoes::Gravacao::Recusada)
        emit Alterado();
    return r;
}

RegistroConexoes::Gravacao RegistroEstacao::Altera(const QString& apelidoAnterior,
                                                   const QString& apelido, const QString& servidor,
                                                   const QString& tipo, const QString& aplicacao,
                                                   const QString& status) {
    const auto r = RegistroConexoes::AlteraConexao(instalacao_.PastaPrograma, apelidoAnterior,
                                                   apelido, servidor, tipo, aplicacao, status);
    if (r != RegistroConexoes::Gravacao::Recusada)
        emit Alterado();
    return r;
}

RegistroConexoes::Gravacao RegistroEstacao::Exclui(const QString& apelido, bool anuncia) {
    const auto r = RegistroConexoes::ExcluiConexao(instalacao_.PastaPrograma, apelido, anuncia);
    emit Alterado();
    return r;
}

bool RegistroEstacao::MarcaAtiva(const QString& apelido, const QStringList& nomesEspelho) {
    if (!RegistroConexoes::MudaConexaoAtiva(instalacao_.PastaPrograma, apelido, nomesEspelho))
        return false;
    emit Alterado();
    return true;
}

quint16 RegistroEstacao::ConexaoExiste(const QString& servidor, const QString& apelido,
                                       bool* encerrar) const {
    return RegistroConexoes::ConexaoExiste(instalacao_.PastaPrograma, servidor, apelido, encerrar);
}

QString RegistroEstacao::ApelidoServidor(const QString& servidor, bool* encerrar) const {
    return RegistroConexoes::ApelidoServidor(instalacao_.PastaPrograma, servidor, encerrar);
}

bool RegistroEstacao::AlteraDBXConnection(const QString& apelido) const {
    return RegistroConexoes::AlteraDBXConnection(instalacao_.PastaPrograma, instalacao_.NomePasta,
                                                 apelido);
}

RegistroConexoes::ConferenciaDbx
RegistroEstacao::ConfereDbx(const std::optional<RegistroConexoes::Conexao>& ativa) const {
    return RegistroConexoes::ConfereDbx(instalacao_.PastaPrograma, instalacao_.NomePasta, ativa);
}

std::optional<RegistroConexoes::Conexao> RegistroEstacao::LeConexao(const QString& apelido) const {
    return RegistroConexoes::LeConexao(instalacao_.PastaPrograma, apelido);
}
