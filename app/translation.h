#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

// The languages the window can speak. Its texts are written in Chinese; English comes from
// the program's translation.
enum class WindowLanguage { Chinese, English };

// English when the first of the desktop's UI languages (as QLocale::system().uiLanguages()
// lists them) is English, Chinese for every other language, the C locale and an empty list:
// a desktop language the program has no translation for gets the texts it is written in.
WindowLanguage ChooseWindowLanguage(const QStringList& uiLanguages);

// Qt's own translation file of that name: from Qt's translations folder, else from a
// "translations" folder beside the executable, where a program that ships its own Qt keeps
// it. Empty when neither has it.
QString QtTranslationFile(const QString& fileName);

// Installs on the application the translators that make the window, and Qt's own dialogs,
// buttons and menus in it, speak language. A missing file of Qt's leaves Qt's English texts.
void InstallTranslations(QCoreApplication& application, WindowLanguage language);
