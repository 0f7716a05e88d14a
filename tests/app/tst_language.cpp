#include "app/colvane.h"
#include "app/resulttableactions.h"
#include "app/translation.h"
#include "tests/app/modalwatch.h"

#include <curl/curl.h>

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

// Set when the test program starts itself again to show the window in one language, "zh"
// or "en": the system locale is read once per process.
const char* const kLanguageVariable = "COLVANE_TEST_WINDOW_LANGUAGE";

bool HasChinese(const QString& text)
{
    return text.contains(QRegularExpression(QStringLiteral("[\\x{3000}-\\x{9fff}\\x{ff00}-\\x{ffef}]")));
}

// Every text shown, or told to accessibility tools, by root and the widgets inside it.
QStringList VisibleTexts(QWidget* root)
{
    QStringList texts{root->windowTitle()};
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    for (QWidget* widget : widgets << root) {
        for (const char* name : {"text", "placeholderText", "currentText"})
            texts << widget->property(name).toString();
        texts << widget->accessibleName() << widget->accessibleDescription()
              << widget->toolTip();
        for (const QAction* action : widget->actions())
            texts << action->text();
        if (const auto* view = qobject_cast<QAbstractItemView*>(widget); view && view->model()) {
            for (int column = 0; column < view->model()->columnCount(); ++column)
                texts << view->model()->headerData(column, Qt::Horizontal).toString();
        }
    }
    return texts;
}

// The texts of the window with one row, its notice box, export dialog and history dialog,
// the text box's menu, the busy button and a line marked (no site answers in this process);
// Qt's own buttons and menu entries go to qtTexts.
QStringList WindowTexts(QStringList& qtTexts)
{
    Colvane window;
    window.setWindowTitle(Colvane::WindowTitle());
    window.HandleCatchResult(QStringLiteral(R"({"nu":"SF1","data":[{"context":"x"}]})"));
    QPushButton* start = window.findChild<QPushButton*>(QStringLiteral("pushButton"));
    QTextEdit* numbers = window.findChild<QTextEdit*>(QStringLiteral("textEdit"));
    const std::unique_ptr<QMenu> menu(numbers->createStandardContextMenu());
    QStringList texts = VisibleTexts(&window) + VisibleTexts(menu.get());
    for (const QAction* action : menu->actions())
        qtTexts << action->text();

    const auto see = [&](QWidget* modal) {
        texts << VisibleTexts(modal);
        for (const QAbstractButton* button : modal->findChild<QDialogButtonBox*>()->buttons())
            qtTexts << button->text();
        Later(modal, qobject_cast<QFileDialog*>(modal) ? "reject" : "close");
    };
    ResultTableActions* actions = window.findChild<ResultTableActions*>();
    WithModals([start] { start->click(); }, see); // the text box is empty
    WithModals([actions] { actions->ExportCsv(); }, see);
    WithModals([actions] { actions->ShowHistory(0); }, see);
    numbers->setPlainText(QStringLiteral("SF1"));
    start->click();
    texts << start->text();
    if (QTest::qWaitFor([start] { return start->isEnabled(); }, 20000))
        texts << numbers->accessibleDescription();
    qtTexts.removeAll(QString());
    return texts;
}

} // namespace

class TestWindowLanguage : public QObject {
    Q_OBJECT

private slots:
    void texts();
};

void TestWindowLanguage::texts()
{
    InstallTranslations(*QCoreApplication::instance(),
                        ChooseWindowLanguage(QLocale::system().uiLanguages()));
    QStringList qtTexts;
    const QStringList texts = WindowTexts(qtTexts);
    if (qgetenv(kLanguageVariable) == "en") {
        QVERIFY(texts.contains(QStringLiteral("Lunvo Batch Parcel Tracking 1.0")));
        for (const QString& text : texts + qtTexts)
            QVERIFY2(!HasChinese(text), qPrintable(text));
        return;
    }
    for (const char* text : {"Lunvo快递单号批量查询1.0", "查询", "查询中 0/1", "id", "信息",
                             "请先输入快递单号", "快递查询结果.csv", "导出CSV", "时间", "复制"})
        QVERIFY2(texts.contains(QString::fromUtf8(text)), text);
    const QString marked = QStringLiteral("第1行：站点无法连接：")
        + QString::fromUtf8(curl_easy_strerror(CURLE_COULDNT_CONNECT));
    QVERIFY2(texts.contains(marked), qPrintable(marked));
    if (QtTranslationFile(QStringLiteral("qtbase_zh_CN.qm")).isEmpty())
        QSKIP("no qtbase_zh_CN.qm (package qttranslations5-l10n): Qt's own texts stay English");
    QCOMPARE(qtTexts.size(), 11); // Yes, Save, Cancel, Close, the text box's seven entries
    for (const QString& text : qtTexts)
        QVERIFY2(HasChinese(text), qPrintable(text));
}

class TestLanguage : public QObject {
    Q_OBJECT

private slots:
    void windowLanguage_data();
    void windowLanguage();
    void qtTranslationBesideProgram();
};

void TestLanguage::windowLanguage_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("language");
    QTest::newRow("Chinese") << QStringList{"LANG=zh_CN.UTF-8"} << "zh";
    QTest::newRow("C locale") << QStringList{"LANG=C.UTF-8"} << "zh";
    QTest::newRow("German, untranslated") << QStringList{"LANG=de_DE.UTF-8"} << "zh";
    QTest::newRow("English") << QStringList{"LANG=en_US.UTF-8"} << "en";
    QTest::newRow("LANGUAGE first") << QStringList{"LANG=zh_CN.UTF-8", "LANGUAGE=en"} << "en";
    QTest::newRow("English second") << QStringList{"LANG=C.UTF-8", "LANGUAGE=de:en"} << "zh";
    QTest::newRow("LC_ALL over LANG") << QStringList{"LANG=en_US.UTF-8", "LC_ALL=de_DE.UTF-8"}
                                      << "zh";
#ifdef Q_OS_WIN
    const bool english = QLocale::system().uiLanguages().value(0).startsWith(QLatin1String("en"));
    QTest::newRow("Windows display language") << QStringList() << (english ? "en" : "zh");
#endif
}

void TestLanguage::windowLanguage()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, language);
#ifdef Q_OS_WIN
    if (!environment.isEmpty())
        QSKIP("Windows programs take their language from the Windows display language, not "
              "from LANG, LANGUAGE or LC_*");
#endif

    QProcessEnvironment settings = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        settings.remove(QLatin1String(name));
    for (const QString& setting : environment)
        settings.insert(setting.section('=', 0, 0), setting.section('=', 1));
    settings.insert(QLatin1String(kLanguageVariable), language);
    QProcess child;
    child.setProcessEnvironment(settings);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForFinished(120000));
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             child.readAll().constData());
}

void TestLanguage::qtTranslationBesideProgram()
{
    // A name Qt's own folder does not have: only the folder beside the program can.
    const QString name = QStringLiteral("qtbase_colvane_test.qm");
    QCOMPARE(QtTranslationFile(name), QString());
    const QDir beside(QCoreApplication::applicationDirPath() + QStringLiteral("/translations"));
    QFile file(beside.filePath(name));
    QVERIFY(beside.mkpath(QStringLiteral(".")) && file.open(QIODevice::WriteOnly));
    const QString found = QtTranslationFile(name);
    file.remove();
    QCOMPARE(found, file.fileName());
}

bool IsWindowLanguageRun() { return qEnvironmentVariableIsSet(kLanguageVariable); }

int RunWindowLanguageTests(int argc, char** argv)
{
    TestWindowLanguage test;
    return QTest::qExec(&test, argc, argv);
}

int RunLanguageTests(int argc, char** argv)
{
    TestLanguage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_language.moc"
