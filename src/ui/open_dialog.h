#pragma once
// "Open": the logs the journal holds, newest first; load one into the data
// log, delete one, or read a data file this program wrote.
#include <QDialog>
#include <functional>

#include "journal/journal.h"

class QTableWidget;
class QPushButton;

namespace fenwyd::ui {

class OpenDialog : public QDialog {
public:
    // load and openFile return true when the data log took the rows (the
    // dialog then closes).
    OpenDialog(QWidget* parent, journal::Journal* journal,
               std::function<bool(const journal::LogSummary&)> load,
               std::function<bool(const QString& path)> openFile);

    QTableWidget* table() const { return table_; }

private:
    void fill();
    const journal::LogSummary* chosen() const;

    journal::Journal* journal_;
    std::vector<journal::LogSummary> logs_;
    QTableWidget* table_ = nullptr;
    QPushButton* load_ = nullptr;
    QPushButton* delete_ = nullptr;
};

}  // namespace fenwyd::ui
