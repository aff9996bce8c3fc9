#include "menu/ServicosFirebird.h"

#include "common/ConstantesFirebird.h"
#include "common/Texto.h"

namespace {

constexpr qsizetype MaximoCurto = 0xFF;   // 1-byte lengths (attach block)
constexpr qsizetype MaximoLongo = 0xFFFF; // 2-byte lengths, and every block as a whole

void Byte(QByteArray& bloco, std::uint8_t valor) {
    bloco.append(char(valor));
}

void Inteiro16(QByteArray& bloco, std::uint16_t valor) {
    Byte(bloco, std::uint8_t(valor & 0xFF));
    Byte(bloco, std::uint8_t(valor >> 8));
}

void Inteiro32(QByteArray& bloco, std::uint32_t valor) {
    for (int i = 0; i < 4; ++i)
        Byte(bloco, std::uint8_t((valor >> (8 * i)) & 0xFF));
}

// Tag + 2-byte length + bytes; an empty value is left out. False when too long.
bool TextoLongo(QByteArray& bloco, std::uint8_t tag, QByteArrayView valor) {
    if (valor.isEmpty())
        return true;
    if (valor.size() > MaximoLongo)
        return false;
    Byte(bloco, tag);
    Inteiro16(bloco, std::uint16_t(valor.size()));
    bloco.append(valor);
    return true;
}

void Numero(QByteArray& bloco, std::uint8_t tag, qint32 valor) {
    Byte(bloco, tag);
    Inteiro32(bloco, std::uint32_t(valor));
}

// Reads an answer from the front, never past its end.
class Leitor {
public:
    explicit Leitor(QByteArrayView bytes) : bytes_(bytes) {}

    bool Fim() const { return pos_ >= bytes_.size(); }
    qsizetype Restam() const { return bytes_.size() - pos_; }

    std::optional<std::uint8_t> Byte() {
        if (Restam() < 1)
            return std::nullopt;
        return std::uint8_t(bytes_[pos_++]);
    }
    std::optional<std::uint16_t> Inteiro16() {
        if (Restam() < 2)
            return std::nullopt;
        const auto b0 = std::uint8_t(bytes_[pos_]);
        const auto b1 = std::uint8_t(bytes_[pos_ + 1]);
        pos_ += 2;
        return std::uint16_t(b0 | (b1 << 8));
    }
    std::optional<qint32> Inteiro32() {
        if (Restam() < 4)
            return std::nullopt;
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= std::uint32_t(std::uint8_t(bytes_[pos_ + i])) << (8 * i);
        pos_ += 4;
        return qint32(v);
    }
    std::optional<QByteArrayView> Bytes(qsizetype n) {
        if (n < 0 || Restam() < n)
            return std::nullopt;
        const QByteArrayView v = bytes_.sliced(pos_, n);
        pos_ += n;
        return v;
    }
    // A 2-byte length followed by that many bytes.
    std::optional<QByteArrayView> TextoLongo() {
        const auto n = Inteiro16();
        if (!n)
            return std::nullopt;
        return Bytes(*n);
    }

private:
    QByteArrayView bytes_;
    qsizetype pos_ = 0;
};

} // namespace

std::optional<QByteArray> MontaBlocoAnexacao(const QStringList& parametros,
                                             int tempoLimiteConexao) {
    QByteArray bloco;
    Byte(bloco, fb::isc_spb_version);
    Byte(bloco, fb::isc_spb_version);
    for (const QString& linha : parametros) {
        if (Apara(linha).isEmpty())
            continue;
        const qsizetype igual = linha.indexOf(u'=');
        if (igual < 0)
            return std::nullopt;
        const QString nome = MaiusculasAscii(Apara(QStringView(linha).first(igual)));
        const QByteArray valor = ParaWindows1252(QStringView(linha).sliced(igual + 1));
        std::uint8_t tag = 0;
        if (nome == u"USER_NAME")
            tag = fb::isc_spb_user_name;
        else if (nome == u"PASSWORD")
            tag = fb::isc_spb_password;
        else
            return std::nullopt;
        if (valor.size() > MaximoCurto)
            return std::nullopt;
        Byte(bloco, tag);
        Byte(bloco, std::uint8_t(valor.size()));
        bloco.append(valor);
    }
    if (tempoLimiteConexao > 0) {
        Byte(bloco, fb::isc_spb_connect_timeout);
        Byte(bloco, 4);
        Inteiro32(bloco, std::uint32_t(tempoLimiteConexao));
    }
    if (bloco.size() > MaximoLongo)
        return std::nullopt;
    return bloco;
}

QByteArray MontaPedidoExibeUsuarios() {
    QByteArray bloco;
    Byte(bloco, fb::isc_action_svc_display_user);
    return bloco;
}

std::optional<QByteArray> MontaPedidoIncluiUsuario(const UsuarioFirebird& usuario,
                                                   QByteArrayView senha) {
    QByteArray bloco;
    Byte(bloco, fb::isc_action_svc_add_user);
    if (!TextoLongo(bloco, fb::isc_spb_sec_username, usuario.UserName))
        return std::nullopt;
    Numero(bloco, fb::isc_spb_sec_userid, usuario.UserID);
    Numero(bloco, fb::isc_spb_sec_groupid, usuario.GroupID);
    if (!TextoLongo(bloco, fb::isc_spb_sec_password, senha) ||
        !TextoLongo(bloco, fb::isc_spb_sec_firstname, usuario.FirstName) ||
        !TextoLongo(bloco, fb::isc_spb_sec_middlename, usuario.MiddleName) ||
        !TextoLongo(bloco, fb::isc_spb_sec_lastname, usuario.LastName))
        return std::nullopt;
    if (bloco.size() > MaximoLongo)
        return std::nullopt;
    return bloco;
}

std::optional<PedacoUsuarios> LeRespostaUsuarios(QByteArrayView resposta, QByteArray& dados) {
    Leitor leitor(resposta);
    bool pedacoVazio = false;
    bool naoPronto = false;
    QByteArray lido;
    for (;;) {
        const auto tag = leitor.Byte();
        if (!tag)
            return std::nullopt; // the answer ends without isc_info_end
        if (*tag == fb::isc_info_end)
            break;
        switch (*tag) {
        case fb::isc_info_svc_get_users: {
            const auto pedaco = leitor.TextoLongo();
            if (!pedaco)
                return std::nullopt;
            if (pedaco->isEmpty())
                pedacoVazio = true;
            else
                lido.append(*pedaco);
            break;
        }
        case fb::isc_info_data_not_ready:
        case fb::isc_info_svc_timeout:
            naoPronto = true;
            break;
        default: // isc_info_truncated, isc_info_error and anything unknown
            return std::nullopt;
        }
    }
    if (!lido.isEmpty()) {
        dados.append(lido);
        return PedacoUsuarios::Dados;
    }
    // The server answers an empty piece followed by isc_info_data_not_ready while it has
    // nothing (yet) that fits the buffer: only an empty piece on its own ends the list.
    if (naoPronto)
        return PedacoUsuarios::NaoPronto;
    if (pedacoVazio)
        return PedacoUsuarios::Fim;
    return std::nullopt; // isc_info_end alone: the item asked for is not in the answer
}

std::optional<QList<UsuarioFirebird>> InterpretaUsuarios(QByteArrayView dados) {
    QList<UsuarioFirebird> usuarios;
    Leitor leitor(dados);
    while (!leitor.Fim()) {
        const std::uint8_t tag = *leitor.Byte();
        if (tag != fb::isc_spb_sec_username && usuarios.isEmpty())
            return std::nullopt;
        switch (tag) {
        case fb::isc_spb_sec_username:
        case fb::isc_spb_sec_firstname:
        case fb::isc_spb_sec_middlename:
        case fb::isc_spb_sec_lastname:
        case fb::isc_spb_sec_groupname: {
            const auto texto = leitor.TextoLongo();
            if (!texto)
                return std::nullopt;
            if (tag == fb::isc_spb_sec_username) {
                usuarios.append(UsuarioFirebird{});
                usuarios.last().UserName = texto->toByteArray();
            } else if (tag == fb::isc_spb_sec_firstname) {
                usuarios.last().FirstName = texto->toByteArray();
            } else if (tag == fb::isc_spb_sec_middlename) {
                usuarios.last().MiddleName = texto->toByteArray();
            } else if (tag == fb::isc_spb_sec_lastname) {
                usuarios.last().LastName = texto->toByteArray();
            } else {
                usuarios.last().GroupName = texto->toByteArray();
            }
            break;
        }
        case fb::isc_spb_sec_userid:
        case fb::isc_spb_sec_groupid:
        case fb::isc_spb_sec_admin: {
            const auto numero = leitor.Inteiro32();
            if (!numero)
                return std::nullopt;
            if (tag == fb::isc_spb_sec_userid)
                usuarios.last().UserID = *numero;
            else if (tag == fb::isc_spb_sec_groupid)
                usuarios.last().GroupID = *numero;
            else
                usuarios.last().Admin = *numero;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return usuarios;
}

qsizetype ProcuraUsuario(const QList<UsuarioFirebird>& usuarios, QByteArrayView nome) {
    for (qsizetype i = 0; i < usuarios.size(); ++i) {
        QByteArray maiusculo = usuarios[i].UserName;
        for (char& c : maiusculo)
            if (c >= 'a' && c <= 'z')
                c = char(c - 'a' + 'A');
        if (maiusculo == nome)
            return i;
    }
    return -1;
}

std::optional<bool> LeRespostaServicoAtivo(QByteArrayView resposta) {
    Leitor leitor(resposta);
    std::optional<bool> ativo;
    for (;;) {
        const auto tag = leitor.Byte();
        if (!tag)
            return std::nullopt;
        if (*tag == fb::isc_info_end)
            break;
        if (*tag != fb::isc_info_svc_running)
            return std::nullopt;
        const auto valor = leitor.Inteiro32();
        if (!valor)
            return std::nullopt;
        ativo = *valor != 0;
    }
    return ativo;
}
