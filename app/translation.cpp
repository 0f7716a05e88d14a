#include "app/translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QtGlobal>

// The English translation is compiled into the static library; naming it here links it into
// every program that installs the translations.
static void RegisterTranslations()
{
    Q_INIT_RESOURCE(colvane_translations);
}

WindowLanguage ChooseWindowLanguage(const QStringList& uiLanguages)
{
    if (!uiLanguages.isEmpty() && QLocale(uiLanguages.first()).language() == QLocale::English)
        return WindowLanguage::English;
    return WindowLanguage::Chinese;
}

QString QtTranslationFile(const QString& fileName)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    const QString qtFolder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
    for (const QString& folder :
         {qtFolder, QCoreApplication::applicationDirPath() + QStringLiteral("/translations")}) {
        const QString path = QDir(folder).filePath(fileName);
        if (!folder.isEmpty() && QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

void InstallTranslations(QCoreApplication& application, WindowLanguage language)
{
    RegisterTranslations();
    // Qt's own texts are English already; only the Chinese window needs Qt's translation.
    const QString file = language == WindowLanguage::English
        ? QStringLiteral(":/Colvane/translations/colvane_en.qm")
        : QtTranslationFile(QStringLiteral("qtbase_zh_CN.qm"));
    if (file.isEmpty())
        return;
    QTranslator* translator = new QTranslator(&application);
    if (translator->load(file))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}
