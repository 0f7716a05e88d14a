#pragma once

#include <QMetaType>
#include <QString>
#include <QVector>

// One tracking event of a reply; a field the reply leaves out is empty.
struct ResultEvent {
    QString time;
    QString context;
};
using ResultEvents = QVector<ResultEvent>;
Q_DECLARE_METATYPE(ResultEvents)

// Reads one courier-info reply. Returns whether it makes a table row; if so, number and
// events receive the reply's "nu" and every entry of its "data", in the reply's order (an
// entry that is not an object gives an empty event, so the count always matches).
bool ReadResultEvents(const QString& text, QString& number, ResultEvents& events);

// As ReadResultEvents, with only the first event's "context" (empty when missing).
bool ReadResultRow(const QString& text, QString& number, QString& context);
