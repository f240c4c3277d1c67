#include "report/report.h"

#include <QBuffer>
#include <QDateTime>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

#include "common/file_write.h"
#include "report/figures.h"
#include "report/graph.h"
#include "report/pages.h"

namespace fenwyd::report {

namespace {

constexpr int kResolution = 1200;  // dots per inch of the PDF's coordinates
constexpr double kTableFont = 7.5;
constexpr double kGroupGap = 14;  // points between side-by-side groups of the readings table

QString ProgramName() {
    return QStringLiteral("Fenwyd 8200 %1.%2.%3")
        .arg(FENWYD_VERSION_MAJOR)
        .arg(FENWYD_VERSION_MINOR)
        .arg(FENWYD_VERSION_PATCH);
}

QString Plural(std::size_t n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// What the two passes share: the page count and where the appendix starts.
struct Plan {
    int total = 0;
    int appendixPage = 0;
};

struct Context {
    const ReportInput& in;
    const RowTimes& times;
    const std::vector<UnitFigures>& figures;
    QString title;
    Plan& plan;
};

void TitleBlock(Pages& pg, const Context& c) {
    pg.paragraph(c.title, pg.font(20, true), 2);
    pg.paragraph(QStringLiteral("Field-strength measurement report"), pg.font(11), 10);
}

QString LevelsText(const Context& c) {
    QStringList parts;
    for (const UnitFigures& f : c.figures) {
        if (f.quantity == Quantity::Unknown) continue;
        if (!f.level) {
            parts << QStringLiteral("none for readings in %1").arg(Text(f.label));
            continue;
        }
        QString t = Text(FormatSignificant(f.level->level) + " " + f.level->unit);
        if (f.level->throughMu0) t += QStringLiteral(" (%1)").arg(QLatin1String(kThroughMu0));
        if (!parts.contains(t)) parts << t;
    }
    return parts.isEmpty() ? QStringLiteral("no readings to compare")
                           : parts.join(QStringLiteral("; "));
}

void Summary(Pages& pg, const Context& c) {
    const ReportInput& in = c.in;
    pg.heading(QStringLiteral("Summary"), 1);
    std::vector<std::vector<QString>> rows;
    rows.push_back({QStringLiteral("Readings taken"), Text(c.times.spanText(in))});
    QStringList units;
    int64_t over = 0, under = 0;
    for (const UnitFigures& f : c.figures) {
        units << Text(f.label);
        over += f.overRange;
        under += f.underRange;
    }
    QString count = Plural(in.rows.size(), "reading", "readings");
    if (!units.isEmpty()) count += QStringLiteral(" in ") + units.join(QStringLiteral(", "));
    if (over + under > 0) {
        count += QStringLiteral(" (%1 over range, %2 under range, left out of the figures)")
                     .arg(over)
                     .arg(under);
    }
    rows.push_back({QStringLiteral("Readings"), count});
    if (!in.source.empty()) rows.push_back({QStringLiteral("Source"), Text(in.source)});
    const std::string model = ProbeModelText(in);
    if (!model.empty()) rows.push_back({QStringLiteral("Probe"), Text(model)});
    if (!in.reference) {
        rows.push_back(
            {QStringLiteral("Reference level"), QStringLiteral("No reference level chosen")});
    } else if (in.reference->typed) {
        rows.push_back({QStringLiteral("Standard"), QStringLiteral("Typed reference level")});
        rows.push_back({QStringLiteral("Reference level"), LevelsText(c)});
    } else {
        const StandardInfo& info = InfoOf(in.reference->standard);
        rows.push_back(
            {QStringLiteral("Standard"),
             QStringLiteral("%1 (%2)").arg(QLatin1String(info.name), QLatin1String(info.source))});
        rows.push_back(
            {QStringLiteral("Frequency"), Text(FormatFrequency(in.reference->frequencyHz))});
        rows.push_back({QStringLiteral("Reference level"), LevelsText(c)});
    }
    if (in.reference) {
        rows.push_back(
            {QStringLiteral("Alarm threshold"),
             Text(FormatPercent(in.alarmPercent)) + QStringLiteral(" of the reference level")});
    }
    for (const std::string& remark : in.remarks) {
        rows.push_back({QStringLiteral("Remark"), Text(remark)});
    }
    pg.table({{QString(), 1.1}, {QString(), 3.9}}, rows, true);
    pg.headingWith(QStringLiteral("Verdict"), 2, 24);
    pg.box(Text(Verdict(in, c.figures)));
}

void Notes(Pages& pg, const Context& c) {
    pg.heading(QStringLiteral("Site notes"), 1);
    if (c.in.notes.empty()) {
        pg.paragraph(QStringLiteral("No site notes were recorded with these readings."), pg.body());
        return;
    }
    std::vector<std::vector<QString>> rows;
    for (const auto& [label, answer] : c.in.notes) rows.push_back({Text(label), Text(answer)});
    pg.table({{QString(), 1.1}, {QString(), 3.9}}, rows, true);
}

// "Magnetic flux density (mG)"; the rows' own unit too where another block
// has the same label (a QM-8203's mGauss beside a QM-8204's Gauss).
QString Heading(const UnitFigures& f, const std::vector<UnitFigures>& all) {
    QString h = QStringLiteral("%1 (%2)").arg(Text(QuantityName(f.quantity)), Text(f.label));
    const bool shared = std::any_of(all.begin(), all.end(), [&](const UnitFigures& g) {
        return &g != &f && g.label == f.label;
    });
    if (shared) h += QStringLiteral(", rows in %1").arg(Text(f.unitsText));
    return h;
}

void Statistics(Pages& pg, const Context& c) {
    pg.heading(QStringLiteral("Statistics"), 1);
    if (c.figures.empty()) {
        pg.paragraph(QStringLiteral("The log holds no readings."), pg.body());
        return;
    }
    for (const UnitFigures& f : c.figures) {
        const QString unit = QLatin1Char(' ') + Text(f.label);
        std::vector<std::vector<QString>> rows;
        if (f.quantity == Quantity::Unknown) {
            pg.headingWith(QStringLiteral("Rows in the unknown unit \"%1\"").arg(Text(f.unitsText)),
                           2, 20);
            pg.paragraph(QStringLiteral("%1, left out of the figures and the graphs.")
                             .arg(Plural(static_cast<std::size_t>(f.rows), "row", "rows")),
                         pg.body());
            continue;
        }
        pg.headingWith(Heading(f, c.figures), 2, 120);
        rows.push_back({QStringLiteral("Readings counted"),
                        QStringLiteral("%1 of %2").arg(f.stats.count()).arg(f.rows)});
        rows.push_back(
            {QStringLiteral("Left out"),
             QStringLiteral("%1 over range, %2 under range").arg(f.overRange).arg(f.underRange)});
        if (f.stats.empty()) {
            rows.push_back({QStringLiteral("Figures"), QStringLiteral("No reading in range")});
        } else {
            auto at = [&](const Extreme& e) {
                return Text(Number(e.value)) + unit + QLatin1Char(' ') +
                       Text(c.times.atText(static_cast<std::size_t>(e.at)));
            };
            rows.push_back({QStringLiteral("Minimum"), at(f.stats.min())});
            rows.push_back({QStringLiteral("Maximum"), at(f.stats.max())});
            rows.push_back({QStringLiteral("Mean"), Text(Number(f.stats.mean())) + unit});
            rows.push_back(
                {QStringLiteral("Standard deviation"), Text(Number(f.stats.stddev())) + unit});
        }
        if (c.in.reference) {
            if (!f.level) {
                rows.push_back(
                    {QStringLiteral("Reference level"), QStringLiteral("None for this quantity")});
            } else {
                QString level = Text(FormatSignificant(f.level->level) + " " + f.level->unit);
                if (f.level->throughMu0) {
                    level += QStringLiteral(" (%1)").arg(QLatin1String(kThroughMu0));
                }
                rows.push_back({QStringLiteral("Reference level"), level});
                if (!f.stats.empty()) {
                    rows.push_back({QStringLiteral("Maximum, % of the level"),
                                    Text(FormatPercent(f.maxPercent))});
                    rows.push_back({QStringLiteral("Mean, % of the level"),
                                    Text(FormatPercent(f.meanPercent))});
                }
                rows.push_back(
                    {QStringLiteral("At or above the alarm threshold (%1)")
                         .arg(Text(FormatPercent(c.in.alarmPercent))),
                     QStringLiteral("%1 of %2").arg(f.atOrAboveAlarm).arg(f.stats.count())});
            }
        }
        pg.table({{QString(), 2.1}, {QString(), 2.9}}, rows, true);
    }
}

void Graphs(Pages& pg, const Context& c) {
    // One graph per quantity, in the unit of its unit with the most readings.
    std::vector<const UnitFigures*> chosen;
    for (const UnitFigures& f : c.figures) {
        if (f.quantity == Quantity::Unknown || f.stats.empty()) continue;
        auto same = std::find_if(chosen.begin(), chosen.end(),
                                 [&](const UnitFigures* g) { return g->quantity == f.quantity; });
        if (same == chosen.end()) {
            chosen.push_back(&f);
        } else if (f.stats.count() > (*same)->stats.count()) {
            *same = &f;
        }
    }
    if (chosen.empty()) return;
    pg.headingWith(chosen.size() == 1 ? QStringLiteral("Graph") : QStringLiteral("Graphs"), 1,
                   kGraphHeight + 20);
    for (const UnitFigures* f : chosen) {
        GraphedQuantity graphed;
        graphed.quantity = f->quantity;
        graphed.label = f->label;
        graphed.alarmPercent = c.in.alarmPercent;
        if (f->level) {
            graphed.level = f->level->level;
            graphed.alarm = f->level->level * c.in.alarmPercent / 100;
        }
        pg.headingWith(
            QStringLiteral("%1 (%2)").arg(Text(QuantityName(f->quantity)), Text(f->label)), 2,
            kGraphHeight);
        pg.block(kGraphHeight, [&](const QRectF& area) {
            DrawGraph(*pg.painter(), pg, area, c.in, c.times, graphed);
        });
    }
}

QString PositionText(const SurveyPoint& p) {
    QStringList parts;
    if (p.latitude && p.longitude) {
        parts << QStringLiteral("%1\u00b0 %2, %3\u00b0 %4")
                     .arg(std::fabs(*p.latitude), 0, 'f', 6)
                     .arg(*p.latitude < 0 ? QLatin1Char('S') : QLatin1Char('N'))
                     .arg(std::fabs(*p.longitude), 0, 'f', 6)
                     .arg(*p.longitude < 0 ? QLatin1Char('W') : QLatin1Char('E'));
    }
    if (p.altitude) parts << QStringLiteral("%1 m").arg(*p.altitude, 0, 'f', 1);
    if (!p.gridLabel.empty()) parts << QStringLiteral("grid %1").arg(Text(p.gridLabel));
    if (p.x && p.y) {
        parts << QStringLiteral("x %1 m, y %2 m")
                     .arg(Text(FormatSignificant(*p.x, 6)), Text(FormatSignificant(*p.y, 6)));
    }
    return parts.isEmpty() ? QStringLiteral("not recorded") : parts.join(QStringLiteral("; "));
}

void Points(Pages& pg, const Context& c) {
    if (c.in.points.empty()) return;
    pg.heading(QStringLiteral("Survey points"), 1);
    const bool percent = c.in.reference.has_value();
    std::vector<Column> columns = {{QStringLiteral("No."), 0.45, Qt::AlignRight},
                                   {QStringLiteral("Point"), 1.5},
                                   {QStringLiteral("Time"), 1.3},
                                   {QStringLiteral("Reading"), 1.1, Qt::AlignRight}};
    if (percent) columns.push_back({QStringLiteral("% of level"), 0.9, Qt::AlignRight});
    columns.push_back({QStringLiteral("Position"), 2.6});
    std::vector<std::vector<QString>> rows;
    int n = 0;
    for (const SurveyPoint& p : c.in.points) {
        Measurement m;
        m.valueText = p.valueText;
        m.exponent = p.exponent;
        m.unitsText = p.unitsText;
        m.unitsLabel = p.unitsLabel;
        m.quantity = LookUpUnitScale(p.unitsText).quantity;
        QString when = QStringLiteral("not recorded");
        if (p.utcMs != 0) {
            when = QDateTime::fromMSecsSinceEpoch(p.utcMs, Qt::UTC)
                       .addSecs(p.utcOffsetSeconds)
                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        }
        std::vector<QString> row = {QString::number(++n), Text(p.name), when, Text(ValueText(m))};
        if (percent) {
            const std::string label = p.unitsLabel.empty() ? p.unitsText : p.unitsLabel;
            const auto cmp = Compare(*c.in.reference, ValueIn(m, label), label);
            row.push_back(cmp ? Text(FormatPercent(cmp->percent)) : QStringLiteral("-"));
        }
        row.push_back(PositionText(p));
        rows.push_back(std::move(row));
    }
    pg.table(columns, rows);
}

// The readings, in side-by-side groups of columns, each column of a group
// drawn as one multi-line text (a full log is 32000 rows). Values are
// aligned on their decimal point: the whole part and the fraction are two
// texts that meet there, which a reader copies as one number.
void ReadingsTable(Pages& pg, const Context& c) {
    const ReportInput& in = c.in;
    const std::size_t n = in.rows.size();
    const QFont plain = pg.font(kTableFont);
    const QFont bold = pg.font(kTableFont, true);
    const QFontMetricsF fm = pg.metrics(plain);
    const QFontMetricsF fmBold = pg.metrics(bold);
    const double pad = pg.pt(3);

    struct Col {
        QString title;
        Qt::Alignment align;
        std::vector<QString> cells;
        std::vector<QString> fractions;  // numbers: from the '.' on
        double width = 0, whole = 0, fraction = 0;
    };
    std::vector<Col> cols;
    const bool timed = c.times.base() != RowTimes::Base::Samples;
    const bool anyLevel = std::any_of(c.figures.begin(), c.figures.end(),
                                      [](const UnitFigures& f) { return f.level.has_value(); });
    const bool anyNote = std::any_of(in.rows.begin(), in.rows.end(),
                                     [](const LoggedRow& r) { return !r.reading.inRange(); });
    cols.push_back({QStringLiteral("No."), Qt::AlignRight, {}, {}});
    cols.push_back({timed ? QStringLiteral("Time") : QStringLiteral("Sample"),
                    timed ? Qt::AlignLeft : Qt::AlignRight,
                    {},
                    {}});
    cols.push_back({QStringLiteral("Value"), Qt::AlignRight, {}, {}});
    cols.push_back({QStringLiteral("Unit"), Qt::AlignLeft, {}, {}});
    if (anyLevel) cols.push_back({QStringLiteral("% of level"), Qt::AlignRight, {}, {}});
    if (anyNote) cols.push_back({QStringLiteral("Note"), Qt::AlignLeft, {}, {}});
    for (Col& col : cols) col.cells.reserve(n);
    // A number's whole part into cells, its fraction into fractions.
    auto putNumber = [](Col& col, const std::string& number) {
        const std::size_t point = std::min(number.find('.'), number.size());
        col.cells.push_back(Text(number.substr(0, point)));
        col.fractions.push_back(Text(number.substr(point)));
    };

    for (std::size_t i = 0; i < n; ++i) {
        const Measurement& m = in.rows[i].reading;
        const std::string value = ValueText(m);
        const std::size_t space = value.find(' ');
        cols[0].cells.push_back(QString::number(i + 1));
        cols[1].cells.push_back(Text(c.times.text(i)));
        putNumber(cols[2], value.substr(0, space));
        cols[3].cells.push_back(space == std::string::npos ? QString()
                                                           : Text(value.substr(space + 1)));
        std::size_t k = 4;
        if (anyLevel) {
            std::string percent;
            std::size_t g = 0;
            while (g < c.figures.size() && c.figures[g].unitsText != m.unitsText) ++g;
            if (m.valid() && g < c.figures.size() && c.figures[g].level) {
                const double level = c.figures[g].level->level;
                percent = FormatPercent(100 * ValueIn(m, c.figures[g].label) / level);
                percent.resize(percent.size() - 2);  // the title says "%"
            }
            putNumber(cols[k++], percent);
        }
        if (anyNote) {
            cols[k].cells.push_back(m.overRange    ? QStringLiteral("over range")
                                    : m.underRange ? QStringLiteral("under range")
                                                   : QString());
        }
    }
    // Widths from the longest text of each column (digits are all as wide).
    auto widest = [&](const std::vector<QString>& cells) {
        const QString* longest = nullptr;
        for (const QString& s : cells) {
            if (longest == nullptr || s.size() > longest->size()) longest = &s;
        }
        return longest == nullptr ? 0.0 : fm.horizontalAdvance(*longest);
    };
    double groupWidth = 0;
    for (Col& col : cols) {
        col.whole = widest(col.cells);
        col.fraction = widest(col.fractions);
        const double content = col.whole + col.fraction;
        col.width = std::max(fmBold.horizontalAdvance(col.title), content) + 2 * pad;
        groupWidth += col.width;
    }
    double gap = pg.pt(kGroupGap);
    const int groups = std::max(1, static_cast<int>((pg.width() + gap) / (groupWidth + gap)));
    // The groups spread over the page's width.
    if (groups > 1) {
        gap = std::min(pg.pt(3 * kGroupGap), (pg.width() - groups * groupWidth) / (groups - 1));
    }
    const double usedWidth = groups * groupWidth + (groups - 1) * gap;
    // The step from one line of a multi-line text to the next, as drawText
    // lays it out, so the shading lies under its rows.
    const QRectF wide(0, 0, 1e6, 1e6);
    const double line = fm.boundingRect(wide, 0, QStringLiteral("0\n0")).height() -
                        fm.boundingRect(wide, 0, QStringLiteral("0")).height();
    const double header = line + pg.pt(3);

    auto joined = [](const std::vector<QString>& cells, std::size_t from, std::size_t count) {
        QString text;
        text.reserve(static_cast<qsizetype>(count * 10));
        for (std::size_t i = from; i < from + count; ++i) {
            if (i > from) text += QLatin1Char('\n');
            text += cells[i];
        }
        return text;
    };
    std::size_t next = 0;
    while (next < n) {
        auto perGroup = static_cast<std::size_t>(std::max(0.0, (pg.room() - header) / line));
        if (perGroup < 5) {
            pg.newPage();
            continue;
        }
        // The rows of a last page are spread evenly over its groups.
        const std::size_t left = n - next;
        const auto g = static_cast<std::size_t>(groups);
        if (left < perGroup * g) perGroup = (left + g - 1) / g;
        const double top = pg.y();
        const std::size_t bands = std::min(perGroup, left);
        if (pg.drawing()) {
            QPainter& p = *pg.painter();
            p.fillRect(QRectF(pg.left(), top, usedWidth, header), QColor(0xe4, 0xe9, 0xf0));
            for (std::size_t b = 1; b < bands; b += 2) {
                p.fillRect(QRectF(pg.left(), top + header + static_cast<double>(b) * line,
                                  usedWidth, line),
                           QColor(0xf2, 0xf2, 0xf2));
            }
        }
        for (int group = 0; group < groups && next < n; ++group) {
            const std::size_t count = std::min(perGroup, n - next);
            double x = pg.left() + group * (groupWidth + gap);
            for (const Col& col : cols) {
                if (pg.drawing()) {
                    QPainter& p = *pg.painter();
                    const QRectF cell(x + pad, top, col.width - 2 * pad, header);
                    const QRectF body(cell.left(), top + header, cell.width(),
                                      static_cast<double>(count + 1) * line);
                    p.setPen(Qt::black);
                    p.setFont(bold);
                    p.drawText(cell, col.align | Qt::AlignVCenter, col.title);
                    p.setFont(plain);
                    if (col.fractions.empty()) {
                        p.drawText(body, col.align | Qt::AlignTop, joined(col.cells, next, count));
                    } else {
                        // The decimal point, with the widest fraction right of it.
                        const double at = body.right() - col.fraction;
                        p.drawText(QRectF(body.left(), body.top(), at - body.left(), body.height()),
                                   Qt::AlignRight | Qt::AlignTop, joined(col.cells, next, count));
                        p.drawText(QRectF(at, body.top(), body.right() - at, body.height()),
                                   Qt::AlignLeft | Qt::AlignTop,
                                   joined(col.fractions, next, count));
                    }
                }
                x += col.width;
            }
            next += count;
        }
        pg.moveTo(top + header + static_cast<double>(bands) * line);
        if (next < n) pg.newPage();
    }
    pg.skip(6);
}

void Readings(Pages& pg, const Context& c) {
    const std::size_t n = c.in.rows.size();
    pg.headingWith(QStringLiteral("Readings"), 1, n == 0 ? 20 : 60);
    if (n == 0) {
        pg.paragraph(QStringLiteral("The log holds no readings."), pg.body());
        return;
    }
    if (n <= kReadingsInBody) {
        ReadingsTable(pg, c);
        return;
    }
    pg.paragraph(QStringLiteral("The %1 readings are listed in Appendix A, from page %2.")
                     .arg(n)
                     .arg(c.plan.appendixPage),
                 pg.body());
    pg.newPage();
    c.plan.appendixPage = pg.page();
    pg.heading(QStringLiteral("Appendix A. The readings"), 1);
    ReadingsTable(pg, c);
}

void Compose(Pages& pg, const Context& c) {
    TitleBlock(pg, c);
    Summary(pg, c);
    Notes(pg, c);
    Statistics(pg, c);
    Graphs(pg, c);
    Points(pg, c);
    Readings(pg, c);
    pg.finish();
}

}  // namespace

QPageSize::PageSizeId SystemPageSize() {
    return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                              : QPageSize::A4;
}

QByteArray RenderReport(const ReportInput& in, QPageSize::PageSizeId size, ReportStats* stats) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(size));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(kResolution);
    const QString title =
        in.title.empty() ? QStringLiteral("Field-strength report") : Text(in.title);
    writer.setTitle(title);
    writer.setCreator(ProgramName());

    const QDateTime made = in.madeUtcMs != 0
                               ? QDateTime::fromMSecsSinceEpoch(in.madeUtcMs).toLocalTime()
                               : QDateTime::currentDateTime();
    const QString maker =
        QStringLiteral("%1, made %2")
            .arg(ProgramName(), made.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    const RowTimes times(in);
    const std::vector<UnitFigures> figures = FiguresOf(in);
    Plan plan;
    {
        // The counting pass: the same layout, nothing drawn.
        Pages count(writer, nullptr, 0, title, maker);
        Compose(count, Context{in, times, figures, title, plan});
        plan.total = count.pageCount();
    }
    QPainter painter(&writer);
    Pages pages(writer, &painter, plan.total, title, maker);
    Compose(pages, Context{in, times, figures, title, plan});
    painter.end();
    if (stats != nullptr) stats->pages = plan.total;
    return bytes;
}

bool WriteReport(const ReportInput& in, const std::string& path, std::string& error,
                 ReportStats* stats) {
    const QByteArray pdf = RenderReport(in, SystemPageSize(), stats);
    return WriteFileReplacing(
        path, std::string(pdf.constData(), static_cast<std::size_t>(pdf.size())), error);
}

}  // namespace fenwyd::report
