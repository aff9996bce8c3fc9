#pragma once

#include <QByteArray>
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

    void Analisa(const QByteArray& bytes);
    static void Classifica(Linha& linha);
    // Index of the first header of the section, or -1.
    qsizetype AchaSecao(QByteArrayView nome) const;
    // One past the last line of the section that starts at inicio.
    qsizetype FimSecao(qsizetype inicio) const;
    qsizetype AchaChave(qsizetype secao, QByteArrayView nome) const;
    void Insere(qsizetype pos, QByteArray texto);

    QString caminho_;
    QString erro_;
    QByteArray bom_;
    std::vector<Linha> linhas_;
    bool leituraOk_ = true;
    bool alterado_ = false;
};
