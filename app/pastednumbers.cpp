#include "app/pastednumbers.h"

#include <QHash>
#include <QString>

namespace {

// Between the parts of a line, beside whitespace.
const QString kSeparators = QStringLiteral(",，;；、|:：");

bool IsNumber(const QString& part)
{
    bool digit = false;
    for (const QChar c : part) {
        const ushort code = c.unicode();
        if (code >= '0' && code <= '9')
            digit = true;
        else if (!(code >= 'A' && code <= 'Z') && !(code >= 'a' && code <= 'z') && code != '-')
            return false;
    }
    return digit;
}

} // namespace

PastedNumbers ReadPastedNumbers(const QStringList& lines)
{
    PastedNumbers pasted;
    QHash<QString, int> indexOf;
    for (const QString& line : lines) {
        QVector<int> onLine;
        QString part;
        // A blank past the line's end closes its last part.
        for (int at = 0; at <= line.size(); ++at) {
            const QChar c = at < line.size() ? line.at(at) : QChar(QLatin1Char(' '));
            // Chat programs put zero-width spaces into long numbers so that they can wrap.
            if (c.category() == QChar::Other_Format)
                continue;
            if (!c.isSpace() && !kSeparators.contains(c)) {
                part += c;
                continue;
            }
            if (IsNumber(part)) {
                auto found = indexOf.constFind(part);
                if (found == indexOf.constEnd()) {
                    found = indexOf.insert(part, pasted.numbers.size());
                    pasted.numbers << part;
                }
                if (!onLine.contains(*found))
                    onLine << *found;
            }
            part.clear();
        }
        pasted.onLine << onLine;
    }
    return pasted;
}
