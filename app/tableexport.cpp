#include "app/tableexport.h"

#include <QAbstractItemModel>
#include <QChar>
#include <QCoreApplication>
#include <QFileDevice>
#include <QIODevice>
#include <QSaveFile>
#include <QStringList>
#include <QVariant>

#include <algorithm>

namespace {

QStringList RowCells(const QAbstractItemModel& model, int row)
{
    QStringList cells;
    for (int column = 0; column < model.columnCount(); ++column)
        cells.append(model.index(row, column).data(Qt::DisplayRole).toString());
    return cells;
}

QString TabSafe(QString text)
{
    for (QChar& character : text) {
        if (character == QLatin1Char('\t') || character == QLatin1Char('\r')
            || character == QLatin1Char('\n'))
            character = QLatin1Char(' ');
    }
    return text;
}

QString CsvField(QString text)
{
    // The texts come from a web site; a spreadsheet must show them, never evaluate them.
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && formulaStarts.contains(text.at(0)))
        text.prepend(QLatin1Char('\''));

    static const QString needQuotes = QStringLiteral(",\"\r\n");
    const bool quoted = std::any_of(text.cbegin(), text.cend(),
                                    [](QChar character) { return needQuotes.contains(character); });
    if (!quoted)
        return text;
    text.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString CsvLine(const QStringList& fields)
{
    QStringList quoted;
    for (const QString& field : fields)
        quoted.append(CsvField(field));
    return quoted.join(QLatin1Char(',')) + QLatin1String("\r\n");
}

} // namespace

QByteArray RowsAsTabSeparatedText(const QAbstractItemModel& model, QVector<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QString text;
    for (int row : rows) {
        if (row < 0 || row >= model.rowCount())
            continue;
        QStringList cells = RowCells(model, row);
        for (QString& cell : cells)
            cell = TabSafe(cell);
        text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text.toUtf8();
}

QByteArray ModelAsCsv(const QAbstractItemModel& model)
{
    QStringList headers;
    for (int column = 0; column < model.columnCount(); ++column)
        headers.append(model.headerData(column, Qt::Horizontal).toString());
    QString text = CsvLine(headers);
    for (int row = 0; row < model.rowCount(); ++row)
        text += CsvLine(RowCells(model, row));
    // Without the mark, spreadsheet programs on Windows read the file in the local code page.
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

QString SaveWholeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // A full disk can end a write short without setting an error; commit would then put the
    // truncated file in place.
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.error() != QFileDevice::NoError
            ? file.errorString()
            : QCoreApplication::translate("SaveWholeFile", "文件没有写完整（磁盘可能已满）");
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}
