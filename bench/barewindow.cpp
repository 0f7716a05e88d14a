// The yardstick for the program's start-up: a plain Qt window with the same title, text box,
// button and two-column table, and nothing else: no lookup thread, no libcurl, no images.
// It starts Qt as the program does (raster widgets); with --default-surfaces it leaves Qt's
// default, which prepares top-level windows for OpenGL. Built as bare_window_libcurl, it also
// sets up libcurl's global state first, as the program must before its first thread.
#include <QApplication>
#include <QGridLayout>
#include <QMainWindow>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStringList>
#include <QTableView>
#include <QTextEdit>

#include <cstring>

#ifdef BARE_WINDOW_WITH_LIBCURL
#include <curl/curl.h>
#endif

int main(int argc, char* argv[])
{
#ifdef BARE_WINDOW_WITH_LIBCURL
    curl_global_init(CURL_GLOBAL_DEFAULT);
#endif
    if (argc < 2 || std::strcmp(argv[1], "--default-surfaces") != 0)
        QApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    QApplication application(argc, argv);
    QMainWindow window;
    window.resize(902, 309);
    QWidget* central = new QWidget(&window);
    QGridLayout* grid = new QGridLayout(central);
    QTableView* table = new QTableView(central);
    QTextEdit* text = new QTextEdit(central);
    QPushButton* button = new QPushButton(QStringLiteral("查询"), central);
    grid->addWidget(table, 0, 0, 2, 1);
    grid->addWidget(text, 0, 1);
    grid->addWidget(button, 1, 1);
    grid->setColumnStretch(0, 8);
    grid->setColumnStretch(1, 2);
    window.setCentralWidget(central);

    QStandardItemModel model;
    model.setHorizontalHeaderLabels({QStringLiteral("id"), QStringLiteral("信息")});
    table->setModel(&model);
    window.setWindowTitle(QStringLiteral("Lunvo快递单号批量查询1.0"));
    window.show();
    return application.exec();
}
