// Every form's text is drawn, and fits: in each form as it opens, every label, push button,
// check box, radio button and group box shows its whole caption in the font it actually got,
// and each edit field's text is painted (grabbed: pixels of the text colour are there). At the
// display's scale and, in a copy of this test, at 150 % (QT_SCALE_FACTOR=1.5), unless
// GERENCIADOR_ESCALA says that the caller set the display's scale itself (the Windows leg runs
// it under Wine at 96 and at 144 DPI). On Windows it runs on the windows platform: Qt's
// offscreen platform there finds no fonts at all.
#include "common/Tipografia.h"
#include "conexoes/Conexoes.h"
#include "conexoes/NavegadorRede.h"
#include "conexoes/TesteConexao.h"
#include "menu/Botoes.h"
#include "menu/Menu.h"
#include "menu/Progresso.h"
#include "principal/Principal.h"
#include "support/Instalacao.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOption>
#include <QTest>
#include <QTextDocument>
#include <functional>
#include <memory>

namespace {

constexpr char kCopia[] = "GERENCIADOR_LEGIBILIDADE_COPIA";

QString SemMnemonico(QString t) {
    t.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    t.remove(u'&');
    t.replace(u'\x01', u'&');
    return t;
}

QString Nome(const QWidget* w) {
    return QStringLiteral("%1 \"%2\"")
        .arg(w->objectName(), QLatin1String(w->metaObject()->className()));
}

// What of the caption does not fit its control, or an empty text. Widths and heights in the
// font the control actually has, against the room the style gives the caption.
QString Corte(QWidget* w) {
    const QFontMetrics fm(w->font());
    const auto falta = [&](const QString& texto, QSize precisa, QRect tem) {
        if (precisa.width() <= tem.width() && precisa.height() <= tem.height())
            return QString();
        return QStringLiteral("%1: \"%2\" precisa de %3x%4, tem %5x%6 (%7 %8 px)")
            .arg(Nome(w), texto)
            .arg(precisa.width())
            .arg(precisa.height())
            .arg(tem.width())
            .arg(tem.height())
            .arg(w->font().family())
            .arg(QFontInfo(w->font()).pixelSize());
    };
    if (auto* l = qobject_cast<QLabel*>(w)) {
        if (l->text().isEmpty() || !l->pixmap().isNull())
            return {};
        const QRect tem =
            l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
        if (Qt::mightBeRichText(l->text()) && l->textFormat() != Qt::PlainText) {
            QTextDocument doc;
            doc.setDefaultFont(l->font());
            doc.setDocumentMargin(0);
            doc.setHtml(l->text());
            if (l->wordWrap())
                doc.setTextWidth(tem.width());
            return falta(doc.toPlainText(), doc.size().toSize(), tem);
        }
        const int flags = int(l->alignment()) | (l->wordWrap() ? Qt::TextWordWrap : 0);
        const QRect precisa =
            fm.boundingRect(l->wordWrap() ? tem : QRect(0, 0, 10000, 10000), flags, l->text());
        return falta(l->text(), precisa.size(), tem);
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        if (g->title().isEmpty())
            return {};
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = g->title();
        opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        if (g->isCheckable())
            opt.subControls |= QStyle::SC_GroupBoxCheckBox;
        const QRect rotulo =
            g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
        const QString texto = SemMnemonico(g->title());
        return falta(texto, QSize(rotulo.left() + fm.horizontalAdvance(texto), fm.height()),
                     g->rect());
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        const QString texto = SemMnemonico(b->text());
        if (texto.isEmpty())
            return {};
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        opt.icon = b->icon();
        opt.iconSize = b->iconSize();
        QStyle::SubElement parte = QStyle::SE_PushButtonContents;
        if (qobject_cast<QCheckBox*>(b))
            parte = QStyle::SE_CheckBoxContents;
        else if (qobject_cast<QRadioButton*>(b))
            parte = QStyle::SE_RadioButtonContents;
        else if (!qobject_cast<QPushButton*>(b))
            return {}; // a tool button shows a picture
        const QRect tem = b->style()->subElementRect(parte, &opt, b);
        const int icone = b->icon().isNull() ? 0 : b->iconSize().width() + 4;
        return falta(texto, QSize(fm.horizontalAdvance(texto) + icone, fm.height()), tem);
    }
    return {};
}

// Whether an edit field shows its text: after a grab, enough pixels nearer the text colour
// than the background's inside the frame.
bool TextoDesenhado(QLineEdit* e) {
    const QImage imagem = e->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QColor texto = e->palette().color(QPalette::Text);
    const QColor fundo = e->palette().color(QPalette::Base);
    const auto distancia = [](QRgb a, const QColor& b) {
        return qAbs(qRed(a) - b.red()) + qAbs(qGreen(a) - b.green()) + qAbs(qBlue(a) - b.blue());
    };
    int pontos = 0;
    const int margem = int(3 * imagem.devicePixelRatio());
    for (int y = margem; y < imagem.height() - margem; ++y)
        for (int x = margem; x < imagem.width() - margem; ++x)
            if (distancia(imagem.pixel(x, y), texto) < distancia(imagem.pixel(x, y), fundo))
                ++pontos;
    return pontos >= 8;
}

// Every caption that does not fit and every edit field left blank in a shown window.
QStringList Problemas(QWidget* janela) {
    QStringList r;
    for (QWidget* w : janela->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != janela)
            continue;
        if (const QString c = Corte(w); !c.isEmpty())
            r << c;
        // Drawn in a family of the lists, never in whatever the font database offers first.
        const QString usada = QFontInfo(w->font()).family();
        if (usada != FamiliaDe(Tipografia::Interface) && usada != FamiliaDe(Tipografia::Arial))
            r << Nome(w) + QStringLiteral(": desenhado em ") + usada;
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            if (e->text().isEmpty())
                e->setText(QStringLiteral("SERVIDOR 10.0.0.1"));
            if (!TextoDesenhado(e))
                r << Nome(e) + QStringLiteral(": texto não desenhado (") + e->font().family() +
                         u')';
        }
    }
    return r;
}

// An installation with every module of both editions, the main window on it.
struct Cena {
    explicit Cena(const QString& pasta) : inst(pasta) {
        for (int i = 1; i <= 22; ++i)
            inst.Grava(QStringLiteral("VELTOM%1.EXE").arg(i, 2, 10, QLatin1Char('0')), "MZ");
        inst.Grava(QStringLiteral("CONEXOES.INI"),
                   "[SERVIDOR CENTRAL DA MATRIZ]\r\nServidor=SERVIDOR-MATRIZ\r\nTipo=Windows\r\n"
                   "Aplicação=C:\\VELTO\r\nStatus=A\r\n");
        principal = std::make_unique<TFrmPrincipal>(inst.Caminho(QStringLiteral("Gerenciador")));
        principal->show();
    }
    Instalacao inst;
    std::unique_ptr<TFrmPrincipal> principal;
};

using Abre = std::function<QWidget*(Cena&)>;

} // namespace

Q_DECLARE_METATYPE(Abre)

class TstLegibilidade : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        qInfo("escala %g; familias: interface %s, Arial %s", qApp->devicePixelRatio(),
              qPrintable(FamiliaDe(Tipografia::Interface)),
              qPrintable(FamiliaDe(Tipografia::Arial)));
    }

    // The chosen family is one the system has and draws at any size, the first of its list
    // that does; a list of missing families gives the system's general font, never a guess.
    void familiaEscolhida_data() {
        QTest::addColumn<int>("tipografia");
        QTest::newRow("interface") << int(Tipografia::Interface);
        QTest::newRow("Arial") << int(Tipografia::Arial);
    }
    void familiaEscolhida() {
        QFETCH(int, tipografia);
        const QStringList lista = FamiliasPreferidas(Tipografia(tipografia));
        const QString familia = FamiliaDe(Tipografia(tipografia));
        const QStringList antes = lista.mid(0, lista.indexOf(familia));
        if (lista.contains(familia)) {
            QVERIFY(QFontDatabase::isSmoothlyScalable(familia));
            for (const QString& f : antes)
                QVERIFY2(!QFontDatabase::hasFamily(f) || !QFontDatabase::isSmoothlyScalable(f),
                         qPrintable(f));
        } else {
            for (const QString& f : lista)
                QVERIFY2(!QFontDatabase::hasFamily(f), qPrintable(f));
        }
        QCOMPARE(EscolheFamilia({QStringLiteral("Família Que Não Existe")}),
                 QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    }

    void formulario_data() {
        QTest::addColumn<QString>("pasta");
        QTest::addColumn<Abre>("abre");
        for (const char* pasta : {"EMPRESA", "CARTORIO"}) {
            QTest::addRow("principal %s", pasta)
                << QString::fromLatin1(pasta) << Abre([](Cena& c) { return c.principal.get(); });
            QTest::addRow("botões %s", pasta) << QString::fromLatin1(pasta) << Abre([](Cena& c) {
                return new TFrmConfigBotoes(c.principal.get(),
                                            c.inst.Caminho(QStringLiteral("VELTO.INI")));
            });
        }
        QTest::newRow("painel") << u"EMPRESA"_qs << Abre([](Cena& c) {
            return new TFrmMenu(c.principal->Instalacao(), c.principal.get(), c.principal.get());
        });
        for (int modo : {0, 1, 2})
            for (bool remoto : {false, true})
                QTest::addRow("editor, modo %d%s", modo, remoto ? ", remoto" : "")
                    << u"EMPRESA"_qs << Abre([modo, remoto](Cena& c) {
                           auto* f = new TFrmConexoes(c.principal->Instalacao(), c.principal.get(),
                                                      c.principal.get(), new NavegadorRede);
                           f->Tag = modo;
                           f->show();
                           if (remoto)
                               if (auto* r =
                                       f->findChild<QRadioButton*>(QStringLiteral("RdBtnRemota")))
                                   r->click();
                           return f;
                       });
        QTest::newRow("ping") << u"EMPRESA"_qs << Abre([](Cena& c) {
            auto* f = new TFrmTesteConexao(c.principal.get());
            f->DefineHost(QStringLiteral("SERVIDOR-MATRIZ"));
            return f;
        });
        QTest::newRow("progresso") << u"EMPRESA"_qs << Abre([](Cena& c) {
            return new TFrmProgresso(QStringLiteral("Suporte_vestranox.exe"), c.principal.get());
        });
    }
    void formulario() {
        QFETCH(QString, pasta);
        QFETCH(Abre, abre);
        Cena cena(pasta);
        QWidget* janela = abre(cena);
        janela->show();
        QVERIFY(QTest::qWaitForWindowExposed(janela));
        const QStringList problemas = Problemas(janela);
        if (janela != cena.principal.get())
            delete janela;
        QVERIFY2(problemas.isEmpty(), qPrintable(problemas.join(u'\n')));
    }

    // The same at 150 %, in a copy of this test started at that scale.
    void escala150() {
        if (qEnvironmentVariableIsSet(kCopia))
            QSKIP("this is the copy");
        if (qEnvironmentVariableIsSet("GERENCIADOR_ESCALA"))
            QSKIP("the display's scale is set by the caller (GERENCIADOR_ESCALA)");
        QProcess copia;
        QProcessEnvironment amb = QProcessEnvironment::systemEnvironment();
        amb.insert(QLatin1String(kCopia), QStringLiteral("1"));
        amb.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("1.5"));
        copia.setProcessEnvironment(amb);
        copia.setProcessChannelMode(QProcess::MergedChannels);
        copia.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("familiaEscolhida"), QStringLiteral("formulario")});
        QVERIFY(copia.waitForFinished(240000));
        const QString saida = QString::fromUtf8(copia.readAll());
        QVERIFY2(copia.exitStatus() == QProcess::NormalExit && copia.exitCode() == 0,
                 qPrintable(saida));
        QVERIFY2(saida.contains(QLatin1String("escala 1.5")), qPrintable(saida));
    }
};

int main(int argc, char** argv) {
#ifdef Q_OS_WIN
    qputenv("QT_QPA_PLATFORM", "windows");
#endif
    QApplication app(argc, argv);
    TstLegibilidade teste;
    return QTest::qExec(&teste, argc, argv);
}
#include "tst_legibilidade.moc"
