#pragma once

#include <QStringList>
#include <QVector>

// The tracking numbers in a text as people paste it: a chat message with blanks around the
// number, a spreadsheet row, a labelled number ("单号：…"), several numbers to a line.
struct PastedNumbers {
    QStringList numbers;          // each number once, in the order it first appears
    QVector<QVector<int>> onLine; // for each line, its numbers (indexes into numbers), once each
};

// Reads the numbers out of the lines of a text. A line falls into parts at whitespace and at
// , ， ; ； 、 | : ：, and a part made only of ASCII letters, digits and '-', with a digit among
// them, is a number; the other parts (names, labels) are no numbers. Invisible characters
// (zero-width spaces, byte-order marks and the like) count as nothing at all.
PastedNumbers ReadPastedNumbers(const QStringList& lines);
