#include "ui/points_window.h"

#include <QAction>
#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>
#include <tuple>

namespace fenwyd::ui {

namespace {
QString U(const std::string& s) { return QString::fromStdString(s); }

QString Degrees(double v, char positive, char negative) {
    return QStringLiteral("%1° %2")
        .arg(std::fabs(v), 0, 'f', 6)
        .arg(QLatin1Char(v < 0 ? negative : positive));
}

QString UnitOf(const SurveyPoint& p) {
    return U(p.value.label.empty() ? p.value.unit : p.value.label);
}

QTableWidgetItem* Cell(const QString& text, Qt::Alignment align = Qt::AlignLeft) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(align | Qt::AlignVCenter);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setToolTip(text);
    return item;
}
}  // namespace

QString PositionText(const journal::StoredPoint& p) {
    QStringList parts;
    if (const std::optional<Position>& at = p.point.position; at && HasFix(*at)) {
        parts << Degrees(at->latitude, 'N', 'S') + QStringLiteral(", ") +
                     Degrees(at->longitude, 'E', 'W') +
                     QStringLiteral(" (%1)").arg(QLatin1String(FixName(at->fix)));
    }
    const QString typed = U(p.place).trimmed();
    if (!typed.isEmpty()) parts << typed;
    return parts.isEmpty() ? QStringLiteral("No fix") : parts.join(QStringLiteral("; "));
}

QString DwellText(const SurveyPoint& p, double baseValue) {
    const double shown = baseValue / std::pow(10.0, p.value.exponent);
    return QString::number(shown, 'g', 4) + QLatin1Char(' ') + UnitOf(p);
}

PointsWindow::PointsWindow(journal::SurveyBook& book, Dialogs& dialogs, SettingsStore& settings,
                           QAction* markAction,
                           std::function<void(const QString& format)> exportSurvey)
    : SideWindow(settings, "Points"), book_(book), dialogs_(dialogs) {
    setWindowTitle(QStringLiteral("Survey Points"));
    setObjectName(QStringLiteral("frmPoints"));
    resize(960, 400);

    summary_ = new QLabel(this);
    summary_->setTextFormat(Qt::PlainText);

    table_ = new QTableWidget(this);
    table_->setObjectName(QStringLiteral("surveyPoints"));
    table_->setAccessibleName(QStringLiteral("Survey points"));
    table_->setColumnCount(kDwellMean + 1);
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Point"), QStringLiteral("Name"), QStringLiteral("Time"),
         QStringLiteral("Value"), QStringLiteral("Range"), QStringLiteral("Position"),
         QStringLiteral("Note"), QStringLiteral("Dwell max"), QStringLiteral("Dwell mean")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);  // rows of one height; a long note in its tool tip
    table_->verticalHeader()->hide();
    // Every column as wide as its texts; the note takes what is left (a
    // long one is shown whole in its tool tip).
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(kNote, QHeaderView::Stretch);
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] {
        if (filling_) return;
        commit();
        showSelected();
    });

    // The selected point.
    auto* form = new QFormLayout;
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("pointName"));
    name_->setAccessibleName(QStringLiteral("Point name"));
    name_->setPlaceholderText(QStringLiteral("e.g. Gate A"));
    place_ = new QLineEdit(this);
    place_->setObjectName(QStringLiteral("pointPlace"));
    place_->setAccessibleName(QStringLiteral("Position typed by hand"));
    place_->setPlaceholderText(
        QStringLiteral("a grid label, x, y in metres, or both: B4 (3.5, -2)"));
    note_ = new QLineEdit(this);
    note_->setObjectName(QStringLiteral("pointNote"));
    note_->setAccessibleName(QStringLiteral("Point note"));
    form->addRow(QStringLiteral("&Name"), name_);
    form->addRow(QStringLiteral("&Typed position"), place_);
    form->addRow(QStringLiteral("N&ote"), note_);
    for (QLineEdit* edit : {name_, place_, note_}) {
        connect(edit, &QLineEdit::editingFinished, this, [this] { commit(); });
    }

    auto* buttons = new QHBoxLayout;
    delete_ = new QPushButton(QStringLiteral("&Delete Point"), this);
    delete_->setObjectName(QStringLiteral("deletePoint"));
    connect(delete_, &QPushButton::clicked, this, [this] { deleteSelected(); });
    auto* mark = new QToolButton(this);
    mark->setDefaultAction(markAction);
    mark->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    mark->setAccessibleName(QStringLiteral("Mark Point"));
    addAction(markAction);  // its key works here too
    buttons->addWidget(mark);
    buttons->addWidget(delete_);
    buttons->addStretch(1);
    // One button a format: each in plain sight, and each reachable by
    // screen readers (a button's pop-up menu is not).
    buttons->addWidget(new QLabel(QStringLiteral("Export:"), this));
    for (const auto& [format, caption, tip] :
         {std::tuple{"GeoJSON", "&GeoJSON...", "The points and the logged track as GeoJSON"},
          std::tuple{"KML", "&KML...", "The points and the logged track as KML"},
          std::tuple{"CSV", "Points as &CSV...", "The points as a CSV table"}}) {
        const QString f = QString::fromLatin1(format);
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QStringLiteral("export") + f);
        b->setToolTip(QString::fromLatin1(tip));
        connect(b, &QPushButton::clicked, this, [exportSurvey, f] { exportSurvey(f); });
        buttons->addWidget(b);
        export_[f] = b;
    }

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("pointsStatus"));
    status_->setAccessibleDescription(QStringLiteral("Survey status"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(table_, 1);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(status_);
    refresh();
}

void PointsWindow::refresh() {
    const int keep = selectedNumber();
    filling_ = true;
    const std::vector<journal::StoredPoint>& points = book_.points();
    table_->setRowCount(static_cast<int>(points.size()));
    int withFix = 0;
    int row = 0;
    for (const journal::StoredPoint& sp : points) {
        const SurveyPoint& p = sp.point;
        withFix += p.position && HasFix(*p.position) ? 1 : 0;
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(p.utcMs).toLocalTime();
        const QString cells[] = {
            U(PointLabel(p.number)),
            U(p.name),
            at.toString(QStringLiteral("HH:mm:ss")),
            U(p.value.text) + QLatin1Char(' ') + UnitOf(p),
            (p.autoRange ? QStringLiteral("AutoRange %1") : QStringLiteral("Range %1"))
                .arg(p.range),
            PositionText(sp),
            U(p.note),
            p.dwell ? DwellText(p, p.dwell->maximum) : QString(),
            p.dwell ? DwellText(p, p.dwell->mean) : QString(),
        };
        for (int c = 0; c <= kDwellMean; ++c) {
            const bool number = c == kValue || c == kDwellMax || c == kDwellMean;
            QTableWidgetItem* item = Cell(cells[c], number ? Qt::AlignRight : Qt::AlignLeft);
            if (c == kPoint) item->setData(Qt::UserRole, p.number);
            table_->setItem(row, c, item);
        }
        if (p.dwell) {
            for (int c : {kDwellMax, kDwellMean}) {
                table_->item(row, c)->setToolTip(QStringLiteral("Over %1 s").arg(p.dwell->seconds));
            }
        }
        if (p.position && HasFix(*p.position) && p.position->altitudeM) {
            table_->item(row, kPosition)
                ->setToolTip(cells[kPosition] + QStringLiteral("\n%1 m above sea level")
                                                    .arg(*p.position->altitudeM, 0, 'f', 1));
        }
        ++row;
    }
    summary_->setText(points.empty()
                          ? QStringLiteral("No points marked with this log yet: Mark Point "
                                           "(Ctrl+M) keeps the reading on the panel.")
                          : QStringLiteral("%1 point%2, %3 with a GPS fix")
                                .arg(points.size())
                                .arg(points.size() == 1 ? "" : "s")
                                .arg(withFix));
    filling_ = false;
    select(keep);
    if (selectedNumber() == 0 && !points.empty()) select(points.back().point.number);
    showSelected();
}

void PointsWindow::select(int number) {
    for (int r = 0; r < table_->rowCount(); ++r) {
        if (table_->item(r, kPoint)->data(Qt::UserRole).toInt() == number) {
            const bool was = filling_;
            filling_ = true;
            table_->selectRow(r);
            filling_ = was;
            if (!filling_) showSelected();
            return;
        }
    }
}

int PointsWindow::selectedNumber() const {
    const QList<QTableWidgetItem*> items = table_->selectedItems();
    for (QTableWidgetItem* item : items) {
        if (item->column() == kPoint) return item->data(Qt::UserRole).toInt();
    }
    return 0;
}

void PointsWindow::showSelected() {
    const int number = selectedNumber();
    const journal::StoredPoint* p = book_.point(number);
    const bool other = p == nullptr || number != shown_;
    shown_ = p != nullptr ? number : 0;
    for (QLineEdit* edit : {name_, place_, note_}) edit->setEnabled(p != nullptr);
    delete_->setEnabled(p != nullptr);
    // The list is refreshed while a field is typed in (a dwell counts
    // down): what is typed stays until the field is left.
    auto show = [other](QLineEdit* edit, const std::string& text) {
        if (other || !edit->hasFocus()) edit->setText(U(text));
    };
    show(name_, p != nullptr ? p->point.name : std::string());
    show(place_, p != nullptr ? p->place : std::string());
    show(note_, p != nullptr ? p->point.note : std::string());
}

void PointsWindow::commit() {
    if (shown_ == 0 || book_.point(shown_) == nullptr) return;
    const int number = shown_;
    // Each edit can refresh the list; the fields are read first.
    const std::string name = name_->text().trimmed().toStdString();
    const std::string place = place_->text().trimmed().toStdString();
    const std::string note = note_->text().trimmed().toStdString();
    book_.rename(number, name);
    book_.setPlace(number, place);
    book_.setNote(number, note);
}

void PointsWindow::deleteSelected() {
    commit();
    const int number = selectedNumber();
    const journal::StoredPoint* p = book_.point(number);
    if (p == nullptr) return;
    const std::string label =
        PointLabel(number) + (p->point.name.empty() ? "" : " (" + p->point.name + ")");
    if (!dialogs_.askYesNo("Delete point " + label + "?\n\nIt is removed from the journal too.",
                           MsgIcon::Question)) {
        return;
    }
    shown_ = 0;
    book_.remove(number);
}

void PointsWindow::showStatus(const QString& text) { status_->setText(text); }

}  // namespace fenwyd::ui
