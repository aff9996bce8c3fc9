#include "common/Texto.h"

#include <array>

namespace {

// Unicode of the bytes 0x80-0x9F; the rest of Windows-1252 equals Latin-1.
constexpr std::array<char16_t, 32> kFaixa80 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ByteDe(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (std::size_t i = 0; i < kFaixa80.size(); ++i)
        if (kFaixa80[i] == c)
            return static_cast<char>(0x80 + i);
    return '?';
}

constexpr bool Branco(char16_t c) {
    return c <= 32;
}
constexpr char MaiusculaAscii(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}

} // namespace

QString MaiusculasAscii(QStringView texto) {
    QString r = texto.toString();
    for (QChar& c : r)
        if (c.unicode() >= 'a' && c.unicode() <= 'z')
            c = QChar(c.unicode() - 32);
    return r;
}

QString Apara(QStringView texto) {
    qsizetype i = 0, f = texto.size();
    while (i < f && Branco(texto[i].unicode()))
        ++i;
    while (f > i && Branco(texto[f - 1].unicode()))
        --f;
    return texto.mid(i, f - i).toString();
}

QByteArrayView Apara(QByteArrayView bytes) {
    qsizetype i = 0, f = bytes.size();
    while (i < f && static_cast<unsigned char>(bytes[i]) <= 32)
        ++i;
    while (f > i && static_cast<unsigned char>(bytes[f - 1]) <= 32)
        --f;
    return bytes.sliced(i, f - i);
}

QString DeWindows1252(QByteArrayView bytes) {
    QString r(bytes.size(), Qt::Uninitialized);
    QChar* d = r.data();
    for (char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        *d++ = QChar(u >= 0x80 && u < 0xA0 ? kFaixa80[u - 0x80] : char16_t(u));
    }
    return r;
}

QByteArray ParaWindows1252(QStringView texto) {
    QByteArray r(texto.size(), Qt::Uninitialized);
    char* d = r.data();
    for (qsizetype i = 0; i < texto.size(); ++i) {
        // A surrogate pair is one character outside the table: one '?'.
        if (texto[i].isHighSurrogate() && i + 1 < texto.size() && texto[i + 1].isLowSurrogate())
            ++i;
        *d++ = ByteDe(texto[i].unicode());
    }
    r.truncate(d - r.constData());
    return r;
}

QString ForaDoWindows1252(QStringView texto) {
    for (qsizetype i = 0; i < texto.size(); ++i) {
        if (texto[i].isHighSurrogate() && i + 1 < texto.size() && texto[i + 1].isLowSurrogate())
            return texto.sliced(i, 2).toString();
        if (texto[i] != u'?' && ByteDe(texto[i].unicode()) == '?')
            return texto.sliced(i, 1).toString();
    }
    return {};
}

bool IguaisSemCaixaAscii(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (MaiusculaAscii(a[i]) != MaiusculaAscii(b[i]))
            return false;
    return true;
}
