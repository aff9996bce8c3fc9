#include "common/Traducao.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool CarregaTraducaoQt() {
    auto* tradutor = new QTranslator(QCoreApplication::instance());
    const QString pastas[] = {
        QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath),
    };
    for (const QString& pasta : pastas) {
        if (tradutor->load(QStringLiteral("qtbase_pt_BR"), pasta)) {
            QCoreApplication::installTranslator(tradutor);
            return true;
        }
    }
    delete tradutor;
    return false;
}
