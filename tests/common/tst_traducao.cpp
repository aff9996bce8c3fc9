// Qt's own texts in Portuguese, loaded by the program's application object as at start-up.
#include "common/Aplicacao.h"
#include "common/Mensagem.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

class TstTraducao : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void botoesPadrao_data() {
        QTest::addColumn<int>("botao");
        QTest::addColumn<QString>("texto");
        QTest::newRow("Cancel") << int(QDialogButtonBox::Cancel) << "Cancelar";
        QTest::newRow("OK") << int(QDialogButtonBox::Ok) << "OK";
        QTest::newRow("Yes") << int(QDialogButtonBox::Yes) << "&Sim";
        QTest::newRow("No") << int(QDialogButtonBox::No) << "&Não";
        QTest::newRow("Close") << int(QDialogButtonBox::Close) << "Fechar";
    }
    void botoesPadrao() {
        QFETCH(int, botao);
        QFETCH(QString, texto);
        const auto b = QDialogButtonBox::StandardButton(botao);
        QDialogButtonBox caixa(b);
        QCOMPARE(caixa.button(b)->text(), texto);
    }

    // A real box with a choice, as the program shows it.
    void caixaComCancelar() {
        QStringList textos;
        QTimer espera;
        espera.setInterval(10);
        connect(&espera, &QTimer::timeout, [&] {
            auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!caixa || !caixa->isVisible())
                return;
            espera.stop();
            for (QAbstractButton* b : caixa->buttons())
                textos.append(b->text());
            caixa->button(QMessageBox::Cancel)->click();
        });
        espera.start();
        const RespostaMensagem r =
            MostraMensagem(u"Continuar?"_qs, u"Gerenciador"_qs, IconeMensagem::Informacao,
                           BotoesMensagem::OkCancelar);
        QCOMPARE(r, RespostaMensagem::Cancelar);
        textos.sort();
        QCOMPARE(textos, (QStringList{u"Cancelar"_qs, u"OK"_qs}));
    }

    // The context menu of an edit field.
    void menuDeEdicao() {
        QLineEdit campo(u"texto"_qs);
        const std::unique_ptr<QMenu> menu(campo.createStandardContextMenu());
        QStringList textos;
        for (const QAction* a : menu->actions())
            if (!a->isSeparator())
                textos.append(a->text().section(u'\t', 0, 0));
        QCOMPARE(textos,
                 (QStringList{u"&Desfazer"_qs, u"&Refazer"_qs, u"Recor&tar"_qs, u"&Copiar"_qs,
                              u"C&olar"_qs, u"Excluir"_qs, u"Selecionar tudo"_qs}));
    }
};

int main(int argc, char** argv) {
    Aplicacao app(argc, argv);
    TstTraducao teste;
    return QTest::qExec(&teste, argc, argv);
}
#include "tst_traducao.moc"
