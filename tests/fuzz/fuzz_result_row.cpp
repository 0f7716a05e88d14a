// The reading of a courier-info result text into a table row.
#include "app/resultreader.h"
#include "tests/fuzz/fuzzcheck.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const QString untouched = QStringLiteral("untouched");
    QString number = untouched;
    QString context = untouched;
    const bool row = ReadResultRow(text, number, context);
    if (!row)
        FUZZ_CHECK(number == untouched && context == untouched);

    // The text counts only up to its first zero character.
    const int zero = text.indexOf(QChar(0));
    if (zero >= 0) {
        QString cutNumber = untouched;
        QString cutContext = untouched;
        FUZZ_CHECK(ReadResultRow(text.left(zero), cutNumber, cutContext) == row);
        FUZZ_CHECK(cutNumber == number && cutContext == context);
    }
    return 0;
}
