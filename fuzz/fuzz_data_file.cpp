// Any bytes as a data file opened with "Open data file...": the reader never
// takes a value a data log cannot hold, and whatever it takes, written out
// again by the exporter, reads back as the same log.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/textconv.h"
#include "datalog/data_file.h"
#include "datalog/export.h"
#include "scratch_folder.h"

namespace {

bool Close(float a, float b) {
    // The writer keeps 7 significant digits.
    return std::fabs(a - b) <= std::max(1e-6f * std::fabs(a), 2 * FLT_TRUE_MIN);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const fenwyd::fuzzing::ScratchFolder scratch("data-file");
    static const std::unique_ptr<float[][fenwyd::kLogColumns]> log(
        new float[fenwyd::kMaxRecords + 1][fenwyd::kLogColumns]());
    const std::string inPath = scratch.file("in.csv");
    const std::string outPath = scratch.file("out.csv");
    if (!fenwyd::fuzzing::WriteWholeFile(inPath, data, size)) return 0;

    fenwyd::DataFileContents file;
    std::string error;
    if (!fenwyd::ReadDataFile(inPath, file, error)) {
        if (error.empty()) __builtin_trap();  // a refusal always says why
        return 0;
    }
    if (file.rows.size() > static_cast<std::size_t>(fenwyd::kMaxRecords)) __builtin_trap();
    for (const fenwyd::LogRow& r : file.rows) {
        if (!std::isfinite(r.time) || !std::isfinite(r.mantissa)) __builtin_trap();
        if (r.exponent != std::trunc(r.exponent) || std::fabs(r.exponent) > 99) __builtin_trap();
        if (!file.uploaded && (r.time < 0 || r.time * 86400.0f > 90000.0f)) __builtin_trap();
    }

    for (std::size_t i = 0; i < file.rows.size(); ++i) {
        log[i + 1][fenwyd::kLogColTime] = file.rows[i].time;
        log[i + 1][fenwyd::kLogColValue] = file.rows[i].mantissa;
        log[i + 1][fenwyd::kLogColExponent] = file.rows[i].exponent;
    }
    fenwyd::ExportInput in;
    in.recordData = log.get();
    in.recordCnt = static_cast<int32_t>(file.rows.size());
    in.dataUploaded = file.uploaded;
    in.unitsText = file.unitsText;
    in.dateText = [] { return std::string("12/6/2026"); };
    in.timeText = [] { return std::string("3:16:52 PM"); };
    in.onTimeFormatError = [] { __builtin_trap(); };        // every time read was hh:mm:ss
    if (!fenwyd::WriteDataPages(outPath, in).ok) return 0;  // a full disk is no fault of the input

    fenwyd::DataFileContents again;
    if (!fenwyd::ReadDataFile(outPath, again, error)) __builtin_trap();
    // The header keeps the unit on its own line: a line break in it becomes a blank.
    if (again.rows.size() != file.rows.size() ||
        again.unitsText != fenwyd::SingleLine(file.unitsText)) {
        __builtin_trap();
    }
    if (!file.rows.empty() && again.uploaded != file.uploaded) __builtin_trap();
    for (std::size_t i = 0; i < file.rows.size(); ++i) {
        const fenwyd::LogRow& a = file.rows[i];
        const fenwyd::LogRow& b = again.rows[i];
        if (a.exponent != b.exponent || !Close(a.mantissa, b.mantissa)) __builtin_trap();
        if (file.uploaded ? !Close(a.time, b.time) : a.time != b.time) __builtin_trap();
    }
    return 0;
}
