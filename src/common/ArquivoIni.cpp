#include "common/ArquivoIni.h"

#include "common/Plataforma.h"
#include "common/Texto.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

namespace {

const QByteArray kFimNovo = QByteArrayLiteral("\r\n");
const QByteArray kFimLf = QByteArrayLiteral("\n");
const QByteArray kFimCr = QByteArrayLiteral("\r");

// A value or name never spans lines: a line break in it would make new lines in the file.
QByteArray UmaLinha(QByteArray bytes) {
    // Most names and values have no break: no copy, no write.
    if (bytes.contains('\r') || bytes.contains('\n')) {
        bytes.replace('\r', ' ');
        bytes.replace('\n', ' ');
    }
    return bytes;
}

// Names as the caller gives them: trimmed, in the file's code page, on one line (the same
// for reading and writing, so that a name written is found again).
QByteArray NomeArquivo(const QString& nome) {
    QStringView v(nome);
    while (!v.isEmpty() && v.front().unicode() <= 32)
        v = v.sliced(1);
    while (!v.isEmpty() && v.back().unicode() <= 32)
        v.chop(1);
    return UmaLinha(ParaWindows1252(v));
}

// Sections up to this many lines are searched line by line: for the few keys of a typical
// section that is faster than a hash, and the object stays small.
constexpr std::size_t kLinhasSemIndice = 16;

constexpr char MaiusculaAscii(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}

// The value of a key line: after the first '=', trimmed, a matching pair of quotes removed.
QByteArrayView ValorDaLinha(const QByteArray& texto) {
    QByteArrayView v = Apara(QByteArrayView(texto).sliced(texto.indexOf('=') + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.sliced(1, v.size() - 2);
    return v;
}

} // namespace

bool ArquivoIni::NomeSemCaixa::Iguais(QByteArrayView a, QByteArrayView b) {
    return IguaisSemCaixaAscii(a, b);
}

size_t ArquivoIni::NomeSemCaixa::Hash(QByteArrayView nome, size_t semente) {
    // FNV-1a of the upper-cased bytes, so that names equal but for the case hash alike.
    size_t h = 14695981039346656037ULL ^ semente;
    for (char c : nome) {
        h ^= static_cast<unsigned char>(MaiusculaAscii(c));
        h *= 1099511628211ULL;
    }
    return h;
}

ArquivoIni::ArquivoIni(QString caminho) : caminho_(std::move(caminho)) {
    secoes_.emplace_back(); // the lines before the first header
    QFile arquivo(caminho_);
    if (!arquivo.exists())
        return;
    if (!QFileInfo(caminho_).isFile()) {
        // A folder, a pipe or a device: reading it would fail, block or never end.
        leituraOk_ = false;
        erro_ = QStringLiteral("Não é um arquivo: ") + caminho_;
        return;
    }
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

ArquivoIni ArquivoIni::DeBytes(const QByteArray& bytes) {
    ArquivoIni r{QString()};
    r.Analisa(bytes);
    return r;
}

void ArquivoIni::Analisa(const QByteArray& bytes) {
    bytes_ = bytes;
    qsizetype i = 0;
    const qsizetype n = bytes.size();
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bom_ = bytes.left(3);
        i = 3;
    }
    const char* dados = bytes_.constData();
    while (i < n) {
        qsizetype j = i;
        while (j < n && dados[j] != '\n' && dados[j] != '\r')
            ++j;
        Linha linha;
        // The lines point into the file's bytes, which the object keeps: no copy per line.
        linha.texto = QByteArray::fromRawData(dados + i, j - i);
        if (j == n) {
            i = n;
        } else if (dados[j] == '\r' && j + 1 < n && dados[j + 1] == '\n') {
            linha.fim = kFimNovo;
            i = j + 2;
        } else {
            linha.fim = dados[j] == '\n' ? kFimLf : kFimCr;
            i = j + 1;
        }
        Classifica(linha, true);
        if (linha.tipo == Tipo::Secao) {
            Secao& nova = secoes_.emplace_back();
            nova.temCabecalho = true;
            nova.cabecalho = std::move(linha);
        } else {
            secoes_.back().linhas.push_back(std::move(linha));
        }
    }
}

void ArquivoIni::Classifica(Linha& linha, bool doArquivo) {
    // A name of a line read from the file points into the file's bytes, like the line.
    auto nome = [doArquivo](QByteArrayView v) {
        return doArquivo ? QByteArray::fromRawData(v.data(), v.size()) : v.toByteArray();
    };
    linha.tipo = Tipo::Outra;
    linha.nome.clear();
    const QByteArrayView t = Apara(QByteArrayView(linha.texto));
    if (t.startsWith('[')) {
        const qsizetype fecha = t.lastIndexOf(']');
        if (fecha > 0) {
            linha.tipo = Tipo::Secao;
            linha.nome = nome(Apara(t.sliced(1, fecha - 1)));
            return;
        }
        // "[x" with no "]" is no header; with an "=" it is a key line, as in Windows.
    }
    if (t.startsWith(';'))
        return;
    const qsizetype igual = linha.texto.indexOf('=');
    if (igual >= 0) {
        linha.tipo = Tipo::Chave;
        linha.nome = nome(Apara(QByteArrayView(linha.texto).first(igual)));
    }
}

void ArquivoIni::IndexaChaves(const Secao& secao) {
    secao.chavesIndexadas = true;
    secao.chaves.clear();
    secao.chaves.reserve(qsizetype(secao.linhas.size()));
    for (qsizetype i = qsizetype(secao.linhas.size()) - 1; i >= 0; --i)
        if (secao.linhas[i].tipo == Tipo::Chave)
            secao.chaves.insert(NomeSemCaixa{secao.linhas[i].nome}, i); // the first one wins
}

void ArquivoIni::IndexaSecoes() const {
    secoesIndexadas_ = true;
    indiceSecoes_.clear();
    indiceSecoes_.reserve(qsizetype(secoes_.size()));
    for (qsizetype i = qsizetype(secoes_.size()) - 1; i >= 1; --i)
        indiceSecoes_.insert(NomeSemCaixa{secoes_[i].cabecalho.nome}, i); // the first one wins
}

qsizetype ArquivoIni::AchaSecao(const QByteArray& nome) const {
    if (!secoesIndexadas_)
        IndexaSecoes();
    return indiceSecoes_.value(NomeSemCaixa{nome}, -1);
}

qsizetype ArquivoIni::AchaChave(const Secao& secao, const QByteArray& nome) {
    if (secao.linhas.size() <= kLinhasSemIndice) {
        secao.chavesIndexadas = false; // an index kept from a longer past would go stale
        for (std::size_t i = 0; i < secao.linhas.size(); ++i)
            if (secao.linhas[i].tipo == Tipo::Chave &&
                IguaisSemCaixaAscii(secao.linhas[i].nome, nome))
                return qsizetype(i);
        return -1;
    }
    if (!secao.chavesIndexadas)
        IndexaChaves(secao);
    return secao.chaves.value(NomeSemCaixa{nome}, -1);
}

ArquivoIni::Linha* ArquivoIni::UltimaLinha() {
    for (auto s = secoes_.rbegin(); s != secoes_.rend(); ++s) {
        if (!s->linhas.empty())
            return &s->linhas.back();
        if (s->temCabecalho)
            return &s->cabecalho;
    }
    return nullptr;
}

QString ArquivoIni::LeTexto(const QString& secao, const QString& chave,
                            const QString& padrao) const {
    const qsizetype s = AchaSecao(NomeArquivo(secao));
    if (s < 0)
        return padrao;
    const qsizetype k = AchaChave(secoes_[s], NomeArquivo(chave));
    if (k < 0)
        return padrao;
    return DeWindows1252(ValorDaLinha(secoes_[s].linhas[k].texto));
}

bool ArquivoIni::ExisteSecao(const QString& secao) const {
    return AchaSecao(NomeArquivo(secao)) >= 0;
}

QStringList ArquivoIni::Secoes() const {
    QStringList r;
    r.reserve(qsizetype(secoes_.size()));
    for (const Secao& s : secoes_)
        if (s.temCabecalho)
            r.append(DeWindows1252(s.cabecalho.nome));
    return r;
}

QStringList ArquivoIni::Chaves(const QString& secao) const {
    QStringList r;
    const qsizetype s = AchaSecao(NomeArquivo(secao));
    if (s < 0)
        return r;
    for (const Linha& l : secoes_[s].linhas)
        if (l.tipo == Tipo::Chave)
            r.append(DeWindows1252(l.nome));
    return r;
}

void ArquivoIni::GravaTexto(const QString& secao, const QString& chave, const QString& valor) {
    const QByteArray nomeSecao = NomeArquivo(secao);
    const QByteArray nomeChave = NomeArquivo(chave);
    const QByteArray bytesValor = UmaLinha(ParaWindows1252(valor));

    Linha nova;
    nova.texto = nomeChave + '=' + bytesValor;
    nova.fim = kFimNovo;
    Classifica(nova);
    // A name that would not read back as this key (";x", "[x]", "a=b") is not written: the
    // line would turn into a comment, a header or another key.
    if (nova.tipo != Tipo::Chave || nova.nome != nomeChave) {
        recusa_ = QStringLiteral("Nome de chave inválido: ") + Apara(chave);
        return;
    }

    qsizetype s = AchaSecao(nomeSecao);
    if (s < 0) {
        Linha cabecalho;
        cabecalho.texto = '[' + nomeSecao + ']';
        cabecalho.fim = kFimNovo;
        Classifica(cabecalho);
        if (Linha* ultima = UltimaLinha(); ultima && ultima->fim.isEmpty())
            ultima->fim = kFimNovo;
        Secao& nova_secao = secoes_.emplace_back();
        nova_secao.temCabecalho = true;
        nova_secao.cabecalho = std::move(cabecalho);
        s = qsizetype(secoes_.size()) - 1;
        indiceSecoes_.insert(NomeSemCaixa{nomeSecao}, s);
    }
    Secao& sec = secoes_[s];
    const qsizetype k = AchaChave(sec, nomeChave);
    if (k >= 0) {
        Linha& linha = sec.linhas[k];
        if (ValorDaLinha(linha.texto) == bytesValor)
            return;
        QByteArray texto = linha.nome + '=' + bytesValor;
        Linha teste{texto, {}, Tipo::Outra, {}};
        Classifica(teste);
        if (teste.tipo != Tipo::Chave || teste.nome != linha.nome) {
            recusa_ = QStringLiteral("Valor inválido para a chave ") + Apara(chave);
            return;
        }
        if (texto == linha.texto) // the same bytes: nothing to write
            return;
        linha.texto = std::move(texto);
        alterado_ = true;
        return;
    }
    // A new key goes after the last non-blank line of its section; the blank lines after it
    // hold no keys, so the index of the keys stays right.
    auto pos = qsizetype(sec.linhas.size());
    while (pos > 0 && Apara(QByteArrayView(sec.linhas[pos - 1].texto)).isEmpty())
        --pos;
    Linha& anterior = pos > 0 ? sec.linhas[pos - 1] : sec.cabecalho;
    if (anterior.fim.isEmpty()) // the file's last line
        anterior.fim = kFimNovo;
    sec.linhas.insert(sec.linhas.begin() + pos, std::move(nova));
    if (sec.chavesIndexadas)
        sec.chaves.insert(NomeSemCaixa{nomeChave}, pos);
    alterado_ = true;
}

void ArquivoIni::ApagaChave(const QString& secao, const QString& chave) {
    const qsizetype s = AchaSecao(NomeArquivo(secao));
    if (s < 0)
        return;
    Secao& sec = secoes_[s];
    const qsizetype k = AchaChave(sec, NomeArquivo(chave));
    if (k < 0)
        return;
    sec.linhas.erase(sec.linhas.begin() + k);
    sec.chavesIndexadas = false;
    alterado_ = true;
}

void ArquivoIni::ApagaSecao(const QString& secao) {
    const qsizetype s = AchaSecao(NomeArquivo(secao));
    if (s < 0)
        return;
    secoes_.erase(secoes_.begin() + s);
    secoesIndexadas_ = false;
    alterado_ = true;
}

QByteArray ArquivoIni::Conteudo() const {
    qsizetype total = bom_.size();
    for (const Secao& s : secoes_) {
        total += s.cabecalho.texto.size() + s.cabecalho.fim.size();
        for (const Linha& l : s.linhas)
            total += l.texto.size() + l.fim.size();
    }
    QByteArray r;
    r.reserve(total);
    r += bom_;
    for (const Secao& s : secoes_) {
        if (s.temCabecalho) {
            r += s.cabecalho.texto;
            r += s.cabecalho.fim;
        }
        for (const Linha& l : s.linhas) {
            r += l.texto;
            r += l.fim;
        }
    }
    return r;
}

bool ArquivoIni::Grava() {
    if (!recusa_.isEmpty()) {
        // A write the file cannot hold fails the whole operation; the file stays as it was.
        // Reported once: the object's later writes are judged on their own.
        erro_ = recusa_;
        recusa_.clear();
        return false;
    }
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
