#include "ui/open_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "instrument/instrument.h"
#include "journal/recorder.h"
#include "ui/text.h"

namespace fenwyd::ui {

namespace {
QString ModelText(int16_t model) {
    return model == 0 ? QString() : QStringLiteral("QM-%1").arg(model);
}

QTableWidgetItem* Cell(const QString& text, Qt::Alignment align = Qt::AlignLeft) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(align | Qt::AlignVCenter);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}
}  // namespace

OpenDialog::OpenDialog(QWidget* parent, journal::Journal* journal,
                       std::function<bool(const journal::LogSummary&)> load,
                       std::function<bool(const QString& path)> openFile, int64_t heldLog)
    : QDialog(parent), journal_(journal), heldLog_(heldLog) {
    setWindowTitle(QStringLiteral("Open"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        journal_ != nullptr && journal_->isOpen()
            ? QStringLiteral("Logs kept in the journal (%1), newest first:")
                  .arg(QDir::toNativeSeparators(Qs(journal_->path())))
            : QStringLiteral("The journal is not available; a data file can still be opened."),
        this);
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    table_ = new QTableWidget(this);
    table_->setObjectName(QStringLiteral("journalLogs"));
    table_->setAccessibleName(QStringLiteral("Logs in the journal"));
    table_->setColumnCount(7);
    table_->setHorizontalHeaderLabels({QStringLiteral("Started"), QStringLiteral("Readings"),
                                       QStringLiteral("Points"), QStringLiteral("Source"),
                                       QStringLiteral("Model"), QStringLiteral("Units"),
                                       QStringLiteral("Saved as")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_);

    // Said when the journal could not be read whole (damaged pages).
    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("journalProblem"));
    problem_->setTextFormat(Qt::PlainText);
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #b00000;"));
    problem_->hide();
    layout->addWidget(problem_);

    auto* buttons = new QDialogButtonBox(this);
    buttons->setAccessibleName(QStringLiteral("Open buttons"));
    load_ = buttons->addButton(QStringLiteral("&Load"), QDialogButtonBox::AcceptRole);
    delete_ = buttons->addButton(QStringLiteral("&Delete"), QDialogButtonBox::ActionRole);
    report_ = buttons->addButton(QStringLiteral("&Report"), QDialogButtonBox::ActionRole);
    report_->setToolTip(QStringLiteral("A PDF report of the chosen log"));
    report_->hide();  // until there is somewhere to send it
    QPushButton* file =
        buttons->addButton(QStringLiteral("Open data &file..."), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(load_, &QPushButton::clicked, this, [this, load] {
        if (const journal::LogSummary* log = chosen(); log != nullptr && load(*log)) accept();
    });
    connect(table_, &QTableWidget::cellDoubleClicked, load_, &QPushButton::click);
    connect(delete_, &QPushButton::clicked, this, [this] {
        const journal::LogSummary* log = chosen();
        if (log == nullptr) return;
        const QString question =
            QStringLiteral("Delete the log started %1 (%2 readings, %3 points) from the journal?")
                .arg(Qs(journal::StartText(*log)))
                .arg(log->rows)
                .arg(log->points);
        if (QMessageBox::question(this, windowTitle(), question) != QMessageBox::Yes) return;
        if (!journal_->deleteLog(log->id)) {
            QMessageBox::warning(
                this, windowTitle(),
                QStringLiteral("The log could not be deleted: %1.").arg(Qs(journal_->error())));
        }
        fill();
    });
    connect(file, &QPushButton::clicked, this, [this, openFile] {
        const QString path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Open data file"), QString(),
            QStringLiteral("CSV Files (*.csv);;Text Files (*.txt);;All Files (*)"));
        if (!path.isEmpty() && openFile(path)) accept();
    });
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { chosenChanged(); });
    fill();
    resize(720, 360);
}

void OpenDialog::fill() {
    logs_ = journal_ != nullptr ? journal_->logs() : std::vector<journal::LogSummary>();
    table_->setRowCount(static_cast<int>(logs_.size()));
    for (int i = 0; i < static_cast<int>(logs_.size()); ++i) {
        const journal::LogSummary& log = logs_[static_cast<std::size_t>(i)];
        QStringList files;
        for (const std::string& f : log.files) files << QDir::toNativeSeparators(Qs(f));
        table_->setItem(i, 0, Cell(Qs(journal::StartText(log))));
        table_->setItem(i, 1, Cell(QString::number(log.rows), Qt::AlignRight));
        table_->setItem(i, 2, Cell(QString::number(log.points), Qt::AlignRight));
        table_->setItem(i, 3,
                        Cell(log.source == LogSource::Upload ? QStringLiteral("uploaded")
                                                             : QStringLiteral("live")));
        table_->setItem(i, 4, Cell(ModelText(log.model)));
        table_->setItem(i, 5, Cell(Qs(log.units)));
        table_->setItem(i, 6,
                        Cell(files.isEmpty() ? QStringLiteral("(not saved)")
                                             : files.join(QStringLiteral(", "))));
    }
    table_->resizeColumnsToContents();
    if (journal_ != nullptr && !journal_->listProblem().empty()) {
        problem_->setText(QStringLiteral("Some logs in the journal could not be read (%1); the "
                                         "list shows those that can be.")
                              .arg(Qs(journal_->listProblem())));
        problem_->show();
    } else {
        problem_->hide();
    }
    if (!logs_.empty()) table_->selectRow(0);
    chosenChanged();
}

void OpenDialog::setReport(std::function<void(const journal::LogSummary&)> report) {
    disconnect(report_, &QPushButton::clicked, this, nullptr);
    connect(report_, &QPushButton::clicked, this, [this, report] {
        if (const journal::LogSummary* log = chosen(); log != nullptr) report(*log);
    });
    report_->show();
}

void OpenDialog::chosenChanged() {
    const journal::LogSummary* log = chosen();
    load_->setEnabled(log != nullptr);
    report_->setEnabled(log != nullptr && log->rows > 0);
    // The rows still to come would have no log to go to.
    const bool held = log != nullptr && log->id == heldLog_;
    delete_->setEnabled(log != nullptr && !held);
    delete_->setToolTip(held ? QStringLiteral("The data log holds this log, so it cannot be "
                                              "deleted: open another log or erase the record "
                                              "count first.")
                             : QStringLiteral("Delete the chosen log from the journal"));
}

const journal::LogSummary* OpenDialog::chosen() const {
    const int row = table_->currentRow();
    if (row < 0 || row >= static_cast<int>(logs_.size()) || table_->selectedItems().isEmpty()) {
        return nullptr;
    }
    return &logs_[static_cast<std::size_t>(row)];
}

}  // namespace fenwyd::ui
