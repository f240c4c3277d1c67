// The report of a log as a PDF: where and when, with which probe, what was
// measured and how it compares with the reference level, the graph, the
// survey points and every reading. Written with Qt's own PDF writer, so no
// display is needed (a QGuiApplication must exist, on any platform plugin).
#pragma once

#include <QByteArray>
#include <QPageSize>
#include <string>

#include "report/report_input.h"

namespace fenwyd::report {

// Letter where the system's locale measures in US units, A4 elsewhere.
QPageSize::PageSizeId SystemPageSize();

struct ReportStats {
    int pages = 0;
};

// The PDF of the report.
QByteArray RenderReport(const ReportInput& in, QPageSize::PageSizeId size = SystemPageSize(),
                        ReportStats* stats = nullptr);

// Renders the report and writes it to path, replacing any file there whole;
// false with the system's reason when it cannot be written.
bool WriteReport(const ReportInput& in, const std::string& path, std::string& error,
                 ReportStats* stats = nullptr);

// Readings up to this many are listed in the body; more go to an appendix.
constexpr std::size_t kReadingsInBody = 150;

}  // namespace fenwyd::report
