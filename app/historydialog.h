#pragma once

#include "app/resultreader.h"

#include <QDialog>
#include <QString>

// Every event of one parcel's reply, read-only, titled with the parcel's number.
class HistoryDialog : public QDialog {
    Q_OBJECT

public:
    HistoryDialog(const QString& number, const ResultEvents& events, QWidget* parent);
};
