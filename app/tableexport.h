#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

class QAbstractItemModel;

// The given rows of the model, in table order whatever order they come in, as UTF-8 text:
// one line per row, its cells joined by tabs, each line ending in "\n". A tab, CR or LF inside
// a cell becomes a blank, so a spreadsheet takes every line as one row of the same columns.
QByteArray RowsAsTabSeparatedText(const QAbstractItemModel& model, QVector<int> rows);

// Every row of the model under a line of its column headers, as CSV for spreadsheet programs:
// UTF-8 with a byte-order mark, CRLF line ends, RFC 4180 quoting, and a leading apostrophe on
// any field a spreadsheet would otherwise run as a formula.
QByteArray ModelAsCsv(const QAbstractItemModel& model);

// Puts bytes at path all at once: on failure the file at path is left as it was and the
// reason is returned; on success the returned text is empty.
QString SaveWholeFile(const QString& path, const QByteArray& bytes);
