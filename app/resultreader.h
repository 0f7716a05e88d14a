#pragma once

#include <QString>

// Reads one courier-info reply. Returns whether it makes a table row; if so, number and
// context receive the reply's "nu" and the first event's "context" (empty when missing).
bool ReadResultRow(const QString& text, QString& number, QString& context);
