#include "common/ArquivoIni.h"

#include "common/Plataforma.h"
#include "common/Texto.h"

#include <QFile>
#include <cstring>

namespace {

const QByteArray kFimNovo = QByteArrayLiteral("\r\n");

// A value or name never spans lines: a line break in it would make new lines in the file.
QByteArray UmaLinha(QByteArray bytes) {
    bytes.replace('\r', ' ');
    bytes.replace('\n', ' ');
    return bytes;
}

// Names as the caller gives them: trimmed, in the file's code page, on one line (the same
// for reading and writing, so that a name written is found again).
QByteArray NomeArquivo(const QString& nome) {
    return UmaLinha(ParaWindows1252(Apara(nome)));
}

// The value of a key line: after the first '=', trimmed, a matching pair of quotes removed.
QByteArrayView ValorDaLinha(const QByteArray& texto) {
    QByteArrayView v = Apara(QByteArrayView(texto).sliced(texto.indexOf('=') + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.sliced(1, v.size() - 2);
    return v;
}

} // namespace

ArquivoIni::ArquivoIni(QString caminho) : caminho_(std::move(caminho)) {
    QFile arquivo(caminho_);
    if (!arquivo.exists())
        return;
    if (!arquivo.open(QIODevice::ReadOnly)) {
        leituraOk_ = false;
        erro_ = arquivo.errorString();
        return;
    }
    const QByteArray bytes = arquivo.readAll();
    if (arquivo.error() != QFileDevice::NoError) {
        leituraOk_ = false;
        erro_ = arquivo.errorString();
        return;
    }
    Analisa(bytes);
}

void ArquivoIni::Analisa(const QByteArray& bytes) {
    qsizetype i = 0;
    const qsizetype n = bytes.size();
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bom_ = bytes.left(3);
        i = 3;
    }
    const char* dados = bytes.constData();
    while (i < n) {
        qsizetype j = i;
        while (j < n && dados[j] != '\n' && dados[j] != '\r')
            ++j;
        Linha linha;
        linha.texto = bytes.mid(i, j - i);
        if (j == n) {
            i = n;
        } else if (dados[j] == '\r' && j + 1 < n && dados[j + 1] == '\n') {
            linha.fim = kFimNovo;
            i = j + 2;
        } else {
            linha.fim = QByteArray(1, dados[j]);
            i = j + 1;
        }
        Classifica(linha);
        linhas_.push_back(std::move(linha));
    }
}

void ArquivoIni::Classifica(Linha& linha) {
    linha.tipo = Tipo::Outra;
    linha.nome.clear();
    const QByteArrayView t = Apara(QByteArrayView(linha.texto));
    if (t.startsWith('[')) {
        const qsizetype fecha = t.lastIndexOf(']');
        if (fecha > 0) {
            linha.tipo = Tipo::Secao;
            linha.nome = Apara(t.sliced(1, fecha - 1)).toByteArray();
            return;
        }
        // "[x" with no "]" is no header; with an "=" it is a key line, as in Windows.
    }
    if (t.startsWith(';'))
        return;
    const qsizetype igual = linha.texto.indexOf('=');
    if (igual >= 0) {
        linha.tipo = Tipo::Chave;
        linha.nome = Apara(QByteArrayView(linha.texto).first(igual)).toByteArray();
    }
}

qsizetype ArquivoIni::AchaSecao(QByteArrayView nome) const {
    for (qsizetype i = 0; i < qsizetype(linhas_.size()); ++i)
        if (linhas_[i].tipo == Tipo::Secao && IguaisSemCaixaAscii(linhas_[i].nome, nome))
            return i;
    return -1;
}

qsizetype ArquivoIni::FimSecao(qsizetype inicio) const {
    qsizetype i = inicio + 1;
    while (i < qsizetype(linhas_.size()) && linhas_[i].tipo != Tipo::Secao)
        ++i;
    return i;
}

qsizetype ArquivoIni::AchaChave(qsizetype secao, QByteArrayView nome) const {
    const qsizetype fim = FimSecao(secao);
    for (qsizetype i = secao + 1; i < fim; ++i)
        if (linhas_[i].tipo == Tipo::Chave && IguaisSemCaixaAscii(linhas_[i].nome, nome))
            return i;
    return -1;
}

QString ArquivoIni::LeTexto(const QString& secao, const QString& chave,
                            const QString& padrao) const {
    const qsizetype s = AchaSecao(NomeArquivo(secao));
    if (s < 0)
        return padrao;
    const qsizetype k = AchaChave(s, NomeArquivo(chave));
    if (k < 0)
        return padrao;
    return DeWindows1252(ValorDaLinha(linhas_[k].texto));
}

bool ArquivoIni::ExisteSecao(const QString& secao) const {
    return AchaSecao(NomeArquivo(secao)) >= 0;
}

QStringList ArquivoIni::Secoes() const {
    QStringList r;
    for (const Linha& l : linhas_)
        if (l.tipo == Tipo::Secao)
            r.append(DeWindows1252(l.nome));
    return r;
}

QStringList ArquivoIni::Chaves(const QString& secao) const {
    QStringList r;
    const qsizetype s = AchaSecao(NomeArquivo(secao));
    if (s < 0)
        return r;
    const qsizetype fim = FimSecao(s);
    for (qsizetype i = s + 1; i < fim; ++i)
        if (linhas_[i].tipo == Tipo::Chave)
            r.append(DeWindows1252(linhas_[i].nome));
    return r;
}

void ArquivoIni::Insere(qsizetype pos, QByteArray texto) {
    // The line before gets a line end if it was the file's last line without one.
    if (pos > 0 && linhas_[pos - 1].fim.isEmpty())
        linhas_[pos - 1].fim = kFimNovo;
    Linha linha;
    linha.texto = std::move(texto);
    linha.fim = kFimNovo;
    Classifica(linha);
    linhas_.insert(linhas_.begin() + pos, std::move(linha));
    alterado_ = true;
}

void ArquivoIni::GravaTexto(const QString& secao, const QString& chave, const QString& valor) {
    const QByteArray nomeSecao = NomeArquivo(secao);
    const QByteArray nomeChave = NomeArquivo(chave);
    const QByteArray bytesValor = UmaLinha(ParaWindows1252(valor));
    const qsizetype s = AchaSecao(nomeSecao);
    if (s < 0) {
        const auto fim = qsizetype(linhas_.size());
        Insere(fim, '[' + nomeSecao + ']');
        Insere(fim + 1, nomeChave + '=' + bytesValor);
        return;
    }
    const qsizetype k = AchaChave(s, nomeChave);
    if (k >= 0) {
        Linha& linha = linhas_[k];
        if (ValorDaLinha(linha.texto) == bytesValor)
            return;
        linha.texto = linha.nome + '=' + bytesValor;
        alterado_ = true;
        return;
    }
    // A new key goes after the last non-blank line of its section.
    qsizetype pos = FimSecao(s);
    while (pos - 1 > s && Apara(QByteArrayView(linhas_[pos - 1].texto)).isEmpty())
        --pos;
    Insere(pos, nomeChave + '=' + bytesValor);
}

void ArquivoIni::ApagaChave(const QString& secao, const QString& chave) {
    const qsizetype s = AchaSecao(NomeArquivo(secao));
    if (s < 0)
        return;
    const qsizetype k = AchaChave(s, NomeArquivo(chave));
    if (k < 0)
        return;
    linhas_.erase(linhas_.begin() + k);
    alterado_ = true;
}

void ArquivoIni::ApagaSecao(const QString& secao) {
    const qsizetype s = AchaSecao(NomeArquivo(secao));
    if (s < 0)
        return;
    linhas_.erase(linhas_.begin() + s, linhas_.begin() + FimSecao(s));
    alterado_ = true;
}

QByteArray ArquivoIni::Conteudo() const {
    qsizetype total = bom_.size();
    for (const Linha& l : linhas_)
        total += l.texto.size() + l.fim.size();
    QByteArray r;
    r.reserve(total);
    r += bom_;
    for (const Linha& l : linhas_) {
        r += l.texto;
        r += l.fim;
    }
    return r;
}

bool ArquivoIni::Grava() {
    if (!alterado_)
        return true;
    if (!leituraOk_) {
        // Never replace a file we could not read with what little we hold of it.
        if (erro_.isEmpty())
            erro_ = QStringLiteral("Não foi possível ler ") + caminho_;
        return false;
    }
    if (!Plataforma::GravaArquivoAtomico(caminho_, Conteudo(), &erro_))
        return false;
    alterado_ = false;
    erro_.clear();
    return true;
}
