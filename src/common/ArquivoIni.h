#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

// An INI file read and written by the rules of the Windows profile functions, for the files
// that the suite's modules share with us (VELTO.INI, CONEXOES.INI, DBXCONNECTIONS.INI).
//
// The file is read once, when the object is made; changes stay in the object and reach the
// disk at Grava(), in one atomic replace, so a reader in another process sees the old file or
// the new one and a failure leaves the file as it was. Lines that no change touches keep their
// bytes exactly. Text is Windows-1252 on disk and QString here.
class ArquivoIni {
public:
    explicit ArquivoIni(QString caminho);
    // The object for these bytes as if read from a file (nothing is read; Grava() has no file
    // to write): the parser on a buffer, for the fuzz target.
    static ArquivoIni DeBytes(const QByteArray& bytes);

    const QString& Caminho() const { return caminho_; }

    // False when the file exists but could not be read; the object then holds nothing and
    // Grava() refuses to write, so an unreadable file is never replaced by an empty one.
    bool LeituraOk() const { return leituraOk_; }
    // The reason of the last failure (reading or writing), for messages and logs.
    const QString& Erro() const { return erro_; }

    // Missing file, section or key: the default.
    QString LeTexto(const QString& secao, const QString& chave, const QString& padrao = {}) const;
    bool ExisteSecao(const QString& secao) const;
    // Every section header, in file order (duplicates included).
    QStringList Secoes() const;
    // The keys of the first section of this name, in file order.
    QStringList Chaves(const QString& secao) const;

    // Line breaks in a name or value become blanks (a value never makes new lines). A key
    // that would not read back as itself (";x", "[x]", "a=b") is not written and makes
    // Grava() fail, so that the operation does not report success.
    void GravaTexto(const QString& secao, const QString& chave, const QString& valor);
    void ApagaChave(const QString& secao, const QString& chave);
    void ApagaSecao(const QString& secao);

    // True when a change waits for Grava().
    bool Alterado() const { return alterado_; }
    // Writes the pending changes to the disk (nothing to do is success). False when the file
    // or its folder cannot be written; Erro() says why and the file keeps its old content.
    bool Grava();

    // The bytes Grava() would write.
    QByteArray Conteudo() const;

private:
    enum class Tipo { Outra, Secao, Chave };
    struct Linha {
        QByteArray texto; // without its line end
        QByteArray fim;   // "\r\n", "\n", "\r" or empty (last line)
        Tipo tipo = Tipo::Outra;
        QByteArray nome; // section or key name, trimmed
    };
    // A name as names match: equal when equal but for the letter case of ASCII letters. The
    // bytes are the name's own (often pointing into the file's bytes): no copy is made.
    struct NomeSemCaixa {
        QByteArray nome;
        static bool Iguais(QByteArrayView a, QByteArrayView b);
        static size_t Hash(QByteArrayView nome, size_t semente);
        friend bool operator==(const NomeSemCaixa& a, const NomeSemCaixa& b) {
            return Iguais(a.nome, b.nome);
        }
        friend size_t qHash(const NomeSemCaixa& n, size_t semente) { return Hash(n.nome, semente); }
    };
    // A section header and the lines up to the next one. The first one holds the lines
    // before the first header and has no header.
    struct Secao {
        bool temCabecalho = false;
        Linha cabecalho;
        std::vector<Linha> linhas;
        // Key name -> index in linhas of its first key line, for sections too long to search
        // line by line; built at the first look-up, so that parsing a large file pays only for
        // what is asked.
        mutable QHash<NomeSemCaixa, qsizetype> chaves;
        mutable bool chavesIndexadas = false;
    };

    void Analisa(const QByteArray& bytes);
    static void Classifica(Linha& linha, bool doArquivo = false);
    static void IndexaChaves(const Secao& secao);
    void IndexaSecoes() const;
    // Index in secoes_ of the first section of this name, or -1.
    qsizetype AchaSecao(const QByteArray& nome) const;
    // Index in the section's lines of its first key of this name, or -1.
    static qsizetype AchaChave(const Secao& secao, const QByteArray& nome);
    // The file's last line, to which a line end is added before anything is appended.
    Linha* UltimaLinha();

    QString caminho_;
    QString erro_;
    QByteArray bom_;
    QByteArray bytes_; // the file as read; the lines read from it point into it
    std::vector<Secao> secoes_;
    // Section name -> index in secoes_ of its first header.
    mutable QHash<NomeSemCaixa, qsizetype> indiceSecoes_;
    mutable bool secoesIndexadas_ = false;
    // A write that the file cannot hold was asked for: Grava() fails.
    QString recusa_;
    bool leituraOk_ = true;
    bool alterado_ = false;
};
