#pragma once
// "Open": the logs the journal holds, newest first; load one into the data
// log, delete one (not the one the data log holds), or read a data file this
// program wrote.
#include <QDialog>
#include <functional>

#include "journal/journal.h"

class QLabel;
class QTableWidget;
class QPushButton;

namespace fenwyd::ui {

class OpenDialog : public QDialog {
public:
    // load and openFile return true when the data log took the rows (the
    // dialog then closes). heldLog: the log the data log holds, which cannot
    // be deleted.
    OpenDialog(QWidget* parent, journal::Journal* journal,
               std::function<bool(const journal::LogSummary&)> load,
               std::function<bool(const QString& path)> openFile, int64_t heldLog = 0);

    QTableWidget* table() const { return table_; }
    // The "Report" button: a report of the chosen log (the dialog stays).
    void setReport(std::function<void(const journal::LogSummary&)> report);

private:
    void fill();
    const journal::LogSummary* chosen() const;
    void chosenChanged();

    journal::Journal* journal_;
    std::vector<journal::LogSummary> logs_;
    QTableWidget* table_ = nullptr;
    QPushButton* load_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* report_ = nullptr;
    QLabel* problem_ = nullptr;
    int64_t heldLog_ = 0;
};

}  // namespace fenwyd::ui
