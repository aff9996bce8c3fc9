#pragma once

#include "common/Edicao.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

// The connection registry (CONEXOES.INI) and the dbExpress connection file
// (DBXCONNECTIONS.INI): the workstation's connection state, with no widgets.
// Every function opens its file once, does its reads and writes on that one object and writes
// it back in a single atomic replace, so a failed write leaves the file exactly as it was.
// Failures are shown here, through MostraMensagem, with the texts the user knows; the results
// tell the window what to do next (reload its lists, end the program).
//
// `pastaPrograma` is the program's folder ending in its delimiter (PastaPrograma); the files
// are that folder followed by the plain file name.
namespace RegistroConexoes {

inline constexpr char16_t kTituloMensagem[] = u"Gerenciador";
inline constexpr char16_t kArquivoConexoes[] = u"CONEXOES.INI";
inline constexpr char16_t kArquivoDbx[] = u"DBXCONNECTIONS.INI";

// One registry entry as stored (values untrimmed, as the file holds them).
struct Conexao {
    QString servidor;
    QString tipo;
    QString aplicacao;
    QString status;
};

// What the two server lists of the main window must show after a load.
struct ListaConexoes {
    // Section names as the file spells them, in the visible selector's order: alphabetical
    // without regard to letter case (pt-BR collation where the platform has one); names
    // that compare equal keep their file order.
    QStringList apelidos;
    // The same names at the same indices, upper-cased (ASCII letters only): the mirror list.
    QStringList espelho;
    // Selection of the target list: with the active mark, the first entry in list order whose
    // "Status" is exactly "A" (-1 when none); without it, the last entry (-1 when empty).
    int selecionado = -1;
    // Selection of the mirror: the same index with the active mark, -1 without it.
    int selecionadoEspelho = -1;
    // False when CONEXOES.INI exists but could not be read (the message was shown).
    bool leituraOk = true;
    // With the active mark, the selected entry's values as stored.
    std::optional<Conexao> ativa;
};

enum class Gravacao {
    Recusada, // nothing to do: the arguments were refused; the lists are not reloaded
    Gravada,  // the file holds the change (or needed none)
    Falhou,   // the file could not be written and is unchanged; the message was shown
};

// Loads the registry. Shows "Não foi possível abrir o arquivo de conexões!" when the file
// exists but cannot be read (the lists are then empty). A missing or empty file is no error.
ListaConexoes CarregarConexoes(const QString& pastaPrograma, bool selecionaAtivo);

// Writes one entry: "Servidor", "Tipo", "Aplicação", "Status" in that order, untrimmed, into
// the section named by the alias; other keys of an existing section stay. Refused (nothing
// written, nothing shown) when alias, server, type or folder is blank once trimmed. The caller
// reloads its lists unless the result is Recusada.
Gravacao IncluiConexao(const QString& pastaPrograma, const QString& apelido,
                       const QString& servidor, const QString& tipo, const QString& aplicacao,
                       const QString& status);

// Replaces an entry: removes the section `apelidoAnterior` (a missing one is no error) and
// writes the entry as IncluiConexao does, in one write of the file, so that a failure leaves
// the old entry in place. The new section goes at the end of the file, also when the alias is
// the old one; the old section's other keys go with it. Refused, with nothing removed, when
// IncluiConexao would refuse. The caller reloads its lists unless the result is Recusada.
Gravacao AlteraConexao(const QString& pastaPrograma, const QString& apelidoAnterior,
                       const QString& apelido, const QString& servidor, const QString& tipo,
                       const QString& aplicacao, const QString& status);

// Removes the alias's section (a missing one is no error); with `anuncia`, then shows
// "Conexão excluida com sucesso!". The caller reloads its lists in every case.
Gravacao ExcluiConexao(const QString& pastaPrograma, const QString& apelido, bool anuncia);

// An alias as its section name reads back once written: trimmed, a line break a blank.
QString ApelidoComoGravado(const QString& apelido);
// A server as its "Servidor" value reads back once written: trimmed, a line break a blank,
// without the pair of quotes that reading would remove (" '10.0.0.2' " is 10.0.0.2). Written
// again, it reads back as itself.
QString ServidorComoGravado(const QString& servidor);

// The alias of the first entry, in file order, whose "Servidor" equals `servidor` as it would
// be stored (ServidorComoGravado) exactly (letter case included); empty when none. When the file
// cannot be read it shows "Erro ao abrir o arquivo de conexões.", returns empty and sets *encerrar:
// the program is then to end (the window calls QCoreApplication::quit()).
QString ApelidoServidor(const QString& pastaPrograma, const QString& servidor,
                        bool* encerrar = nullptr);

// 1 when some entry has this server (see ApelidoServidor) + 2 when a section with this alias
// exists (letter case ignored). A file that cannot be read behaves as in ApelidoServidor.
// Both are looked for as the file would hold them (ApelidoComoGravado, ServidorComoGravado):
// " ALFA" is ALFA.
quint16 ConexaoExiste(const QString& pastaPrograma, const QString& servidor, const QString& apelido,
                      bool* encerrar = nullptr);

// Writes "Status" = "I" into the section of every name of `nomesEspelho` (the mirror list's
// names, in list order), then "Status" = "A" into the alias's section (created when missing).
// False, with nothing changed, for a blank alias; false after the message when the file cannot
// be written. On true the caller reloads its lists with the active mark and calls
// AlteraDBXConnection with the alias now selected.
bool MudaConexaoAtiva(const QString& pastaPrograma, const QString& apelido,
                      const QStringList& nomesEspelho);

// The dbExpress section of an edition: "CARTÓRIO" when `nomePasta` is CARTORIO or, trimmed,
// 8 characters long; "EMPRESA" otherwise.
QString SecaoDbx(const QString& nomePasta);
// The database file of the edition: CARTORIO.FDB for the registry-office section, VELTO.FDB
// for the company one.
QString ArquivoBanco(const QString& nomePasta);
// The "Database" value: server ":" sep "VELTOGDB" sep nomePasta sep file (ArquivoBanco),
// upper-cased (ASCII), sep being "/" when `tipo` is exactly "Linux" and "\" otherwise.
QString MontaDatabase(const QString& servidor, const QString& tipo, const QString& nomePasta);

// What the switch writes for an entry: the edition's section, and there "Database" and
// "Servidor Aplicação".
struct ValoresDbx {
    QString secao;
    QString database;
    QString aplicacao;
};
ValoresDbx ValoresDaTroca(const Conexao& conexao, const QString& nomePasta);

// What the suite's modules would open (the edition's section of DBXCONNECTIONS.INI) against the
// server in use. The file is only read.
struct ConferenciaDbx {
    enum class Situacao {
        Concorda,    // the file holds what the switch would write (or nothing is in use and
                     // the file names no database)
        Difere,      // "Database" or "Servidor Aplicação" is another
        SemArquivo,  // DBXCONNECTIONS.INI does not exist
        Ilegivel,    // it exists and cannot be read
        SemSecao,    // no section of the edition
        SemDatabase, // the section has no "Database"
    };
    Situacao situacao = Situacao::Concorda;
    QString secao;            // the edition's section
    QString database;         // the file's "Database"
    bool soAplicacao = false; // "Database" agrees, "Servidor Aplicação" does not
    QString aplicacao;        // the file's "Servidor Aplicação", then
    // The first entry (file order) whose switch would write the file's "Database" (never the
    // one in use, whose switch writes another); empty when none.
    QString outro;
};
// `ativa`: the entry in use (nothing when none). Values are compared as
// the switch writes them: letter case (ASCII) does not count, since the switch upper-cases.
// CONEXOES.INI is read only when the two differ (to look for the other entry).
ConferenciaDbx ConfereDbx(const QString& pastaPrograma, const QString& nomePasta,
                          const std::optional<Conexao>& ativa);
// What the mark beside the selector says of it (empty when they agree).
QString DescreveConferencia(const ConferenciaDbx& c, const QString& apelido);

// Points the edition's dbExpress connection at the alias's server: reads "Servidor", "Tipo"
// and "Aplicação" of the alias and writes "Database" and "Servidor Aplicação" (upper-cased)
// into DBXCONNECTIONS.INI, leaving every other key and section as they are. When CONEXOES.INI
// cannot be read it shows "Não foi possível abrir o arquivo de conexões!" and leaves the
// dbExpress file untouched; when DBXCONNECTIONS.INI cannot be written it shows "Não foi
// possível abrir o arquivo de conexão com o Banco de Dados!" and the file is unchanged.
// A blank alias writes nothing. True when the file now holds the two values.
bool AlteraDBXConnection(const QString& pastaPrograma, const QString& nomePasta,
                         const QString& apelido);

// One entry's values as stored (each empty when missing); nothing when the file cannot be
// read (no message: the caller says what fits its form).
std::optional<Conexao> LeConexao(const QString& pastaPrograma, const QString& apelido);

} // namespace RegistroConexoes

// The registry of one installation: the operations above on its folder, and word of every
// change that the lists showing the registry must follow (Alterado, emitted once the file has
// been written or the write has failed, before the operation returns).
class RegistroEstacao : public QObject {
    Q_OBJECT
public:
    explicit RegistroEstacao(DadosInstalacao instalacao, QObject* pai = nullptr);

    const DadosInstalacao& Instalacao() const { return instalacao_; }

    RegistroConexoes::ListaConexoes Carrega(bool selecionaAtivo) const;
    // Alterado follows unless the result is Recusada.
    RegistroConexoes::Gravacao Inclui(const QString& apelido, const QString& servidor,
                                      const QString& tipo, const QString& aplicacao,
                                      const QString& status);
    RegistroConexoes::Gravacao Altera(const QString& apelidoAnterior, const QString& apelido,
                                      const QString& servidor, const QString& tipo,
                                      const QString& aplicacao, const QString& status);
    // Alterado follows in every case.
    RegistroConexoes::Gravacao Exclui(const QString& apelido, bool anuncia);
    // Alterado follows a true result.
    bool MarcaAtiva(const QString& apelido, const QStringList& nomesEspelho);

    quint16 ConexaoExiste(const QString& servidor, const QString& apelido,
                          bool* encerrar = nullptr) const;
    QString ApelidoServidor(const QString& servidor, bool* encerrar = nullptr) const;
    bool AlteraDBXConnection(const QString& apelido) const;
    RegistroConexoes::ConferenciaDbx
    ConfereDbx(const std::optional<RegistroConexoes::Conexao>& ativa) const;
    std::optional<RegistroConexoes::Conexao> LeConexao(const QString& apelido) const;

signals:
    void Alterado();

private:
    DadosInstalacao instalacao_;
};
