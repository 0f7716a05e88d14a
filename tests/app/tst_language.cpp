#include "app/colvane.h"
#include "app/historydialog.h"
#include "app/resulttableactions.h"
#include "app/tableexport.h"
#include "app/translation.h"
#include "tests/app/modalwatch.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

// Set in the test program's own environment when it is started again to show the window in
// one language; holds that language, "zh" or "en".
const char* const kLanguageVariable = "COLVANE_TEST_WINDOW_LANGUAGE";

bool HasChinese(const QString& text)
{
    static const QRegularExpression han(QStringLiteral("[\\x{3000}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    return text.contains(han);
}

// Every text a user can see or hear (through accessibility) on root and inside it.
QStringList VisibleTexts(QWidget* root)
{
    QStringList texts{root->windowTitle()};
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        texts << widget->accessibleName() << widget->toolTip();
        for (const QAction* action : widget->actions())
            texts << action->text() << action->toolTip();
        if (const auto* button = qobject_cast<QAbstractButton*>(widget))
            texts << button->text();
        if (const auto* label = qobject_cast<QLabel*>(widget))
            texts << label->text();
        if (const auto* edit = qobject_cast<QTextEdit*>(widget))
            texts << edit->placeholderText();
        if (const auto* line = qobject_cast<QLineEdit*>(widget))
            texts << line->placeholderText();
        if (const auto* box = qobject_cast<QMessageBox*>(widget))
            texts << box->text();
        if (const auto* combo = qobject_cast<QComboBox*>(widget)) {
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
        }
        if (const auto* view = qobject_cast<QAbstractItemView*>(widget); view && view->model()) {
            for (int column = 0; column < view->model()->columnCount(); ++column)
                texts << view->model()->headerData(column, Qt::Horizontal).toString();
        }
    }
    texts.removeAll(QString());
    return texts;
}

// What the window shows in the language the program chose for this process.
struct Seen {
    QMap<QString, QString> own; // the program's texts, by where they show
    QStringList qtButtons;      // Qt's own texts on the buttons and menu the user reaches
    QStringList all;            // everything visible, Qt's texts included
};

void SeeModal(QWidget* modal, Seen& seen)
{
    seen.all << VisibleTexts(modal);
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen.own.insert(QStringLiteral("message title"), box->windowTitle());
        seen.own.insert(QStringLiteral("message ") + box->text().left(4), box->text());
        seen.qtButtons << box->button(QMessageBox::Yes)->text();
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        seen.own.insert(QStringLiteral("export title"), dialog->windowTitle());
        seen.own.insert(QStringLiteral("export name"),
                        QFileInfo(dialog->selectedFiles().value(0)).fileName());
        seen.own.insert(QStringLiteral("export filter"), dialog->nameFilters().join(';'));
        const QDialogButtonBox* buttons = dialog->findChild<QDialogButtonBox*>();
        seen.qtButtons << buttons->button(QDialogButtonBox::Save)->text()
                       << buttons->button(QDialogButtonBox::Cancel)->text();
        Later(dialog, "reject");
        return;
    } else if (auto* history = qobject_cast<HistoryDialog*>(modal)) {
        const QTableView* table = history->findChild<QTableView*>();
        seen.own.insert(QStringLiteral("history table"), table->accessibleName());
        seen.own.insert(QStringLiteral("history time"),
                        table->model()->headerData(0, Qt::Horizontal).toString());
        seen.qtButtons << history->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close)->text();
    }
    Later(modal, "close");
}

Seen SeeWindow()
{
    Seen seen;
    Colvane window;
    window.setWindowTitle(Colvane::WindowTitle());
    auto* start = window.findChild<QPushButton*>(QStringLiteral("pushButton"));
    auto* numbers = window.findChild<QTextEdit*>(QStringLiteral("textEdit"));
    auto* table = window.findChild<QTableView*>(QStringLiteral("tableView"));
    const QAbstractItemModel* model = table->model();
    seen.all << VisibleTexts(&window);
    seen.own.insert(QStringLiteral("title"), window.windowTitle());
    seen.own.insert(QStringLiteral("button"), start->text());
    seen.own.insert(QStringLiteral("numbers"), numbers->accessibleName());
    seen.own.insert(QStringLiteral("placeholder"), numbers->placeholderText());
    seen.own.insert(QStringLiteral("results"), table->accessibleName());
    seen.own.insert(QStringLiteral("headers"), model->headerData(0, Qt::Horizontal).toString()
                                                   + '|' + model->headerData(1, Qt::Horizontal).toString());
    for (const QAction* action : table->actions())
        seen.own.insert(action->objectName(), action->text());

    const std::unique_ptr<QMenu> menu(numbers->createStandardContextMenu());
    for (const QAction* action : menu->actions()) {
        if (!action->isSeparator())
            seen.qtButtons << action->text();
    }

    const auto seeModals = [&seen](QWidget* modal) { SeeModal(modal, seen); };
    WithModals([start] { start->click(); }, seeModals); // the empty box asks for numbers
    numbers->setPlainText(QStringLiteral("SF1\n").repeated(21));
    WithModals([start] { start->click(); }, seeModals);

    window.HandleCatchResult(QStringLiteral(R"({"nu":"SF1","data":[{"context":"x"}]})"));
    const QByteArray csv = ModelAsCsv(*model);
    seen.own.insert(QStringLiteral("csv header"), QString::fromUtf8(csv.left(3).toHex() + ' '
                                                                    + csv.mid(3).split('\r').first()));
    ResultTableActions* actions = window.findChild<ResultTableActions*>();
    WithModals([actions] { actions->ExportCsv(); }, seeModals);
    WithModals([actions] { actions->ShowHistory(0); }, seeModals);

    numbers->setPlainText(QStringLiteral("SF1"));
    start->click();
    seen.own.insert(QStringLiteral("busy button"), start->text());
    return seen;
}

} // namespace

// Run in a process of its own per language: the system locale is read once per process.
class TestWindowLanguage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InstallTranslations(*QCoreApplication::instance(),
                            ChooseWindowLanguage(QLocale::system().uiLanguages()));
    }
    void texts();
};

void TestWindowLanguage::texts()
{
    const Seen seen = SeeWindow();
    const QString title = QStringLiteral("Lunvo快递单号批量查询1.0");
    if (qgetenv(kLanguageVariable) == "en") {
        for (const QString& text : seen.all + seen.own.values() + seen.qtButtons)
            QVERIFY2(!HasChinese(text), qPrintable(text));
        QVERIFY(seen.own.value(QStringLiteral("headers")).contains(QStringLiteral("event")));
        QString headers = seen.own.value(QStringLiteral("headers"));
        QCOMPARE(seen.own.value(QStringLiteral("csv header")),
                 QStringLiteral("efbbbf ") + headers.replace('|', ','));
        QVERIFY(seen.own.value(QStringLiteral("export name")).endsWith(QStringLiteral(".csv")));
        QVERIFY(seen.own.value(QStringLiteral("busy button")).endsWith(QStringLiteral(" 0/1")));
        return;
    }

    const QMap<QString, QString> chinese = {
        {QStringLiteral("title"), title},
        {QStringLiteral("message title"), title},
        {QStringLiteral("button"), QStringLiteral("查询")},
        {QStringLiteral("busy button"), QStringLiteral("查询中 0/1")},
        {QStringLiteral("numbers"), QStringLiteral("快递单号")},
        {QStringLiteral("placeholder"), QStringLiteral("每行一个快递单号，最多20个")},
        {QStringLiteral("results"), QStringLiteral("查询结果")},
        {QStringLiteral("headers"), QStringLiteral("id|信息")},
        {QStringLiteral("actionCopy"), QStringLiteral("复制")},
        {QStringLiteral("actionSelectAll"), QStringLiteral("全选")},
        {QStringLiteral("actionExportCsv"), QStringLiteral("导出CSV…")},
        {QStringLiteral("message 请先输入"), QStringLiteral("请先输入快递单号")},
        {QStringLiteral("message 一次最多"), QStringLiteral("一次最多查询20个单号")},
        {QStringLiteral("csv header"), QStringLiteral("efbbbf id,信息")},
        {QStringLiteral("export title"), QStringLiteral("导出CSV")},
        {QStringLiteral("export name"), QStringLiteral("快递查询结果.csv")},
        {QStringLiteral("export filter"), QStringLiteral("CSV 文件 (*.csv)")},
        {QStringLiteral("history table"), QStringLiteral("物流记录")},
        {QStringLiteral("history time"), QStringLiteral("时间")},
    };
    for (auto it = chinese.cbegin(); it != chinese.cend(); ++it)
        QCOMPARE(seen.own.value(it.key()), it.value());
    QCOMPARE(seen.own.keys(), chinese.keys());
    if (QtTranslationFile(QStringLiteral("qtbase_zh_CN.qm")).isEmpty())
        QSKIP("no qtbase_zh_CN.qm on this machine (package qttranslations5-l10n): Qt's own "
              "buttons and menus stay English");
    QCOMPARE(seen.qtButtons.size(), 12); // Yes twice, Save, Cancel, Close, seven menu actions
    for (const QString& text : seen.qtButtons)
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
    QTest::newRow("LC_ALL over LANG") << QStringList{"LANG=en_US.UTF-8", "LC_ALL=de_DE.UTF-8"}
                                      << "zh";
    QTest::newRow("English second") << QStringList{"LANG=C.UTF-8", "LANGUAGE=de:en"} << "zh";
}

void TestLanguage::windowLanguage()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, language);

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
    // A name Qt's own folder cannot have, so that only the folder beside the program has it.
    const QString name = QStringLiteral("qtbase_colvane_test.qm");
    QCOMPARE(QtTranslationFile(name), QString());
    const QDir beside(QCoreApplication::applicationDirPath() + QStringLiteral("/translations"));
    QVERIFY(beside.mkpath(QStringLiteral(".")));
    QFile file(beside.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString found = QtTranslationFile(name);
    file.remove();
    QCOMPARE(found, beside.filePath(name));
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
