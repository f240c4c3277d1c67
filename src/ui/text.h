#pragma once
// The logic keeps its texts as 8-bit strings in the system's code page (the
// one its files are written in: UTF-8 on Linux, the ANSI code page on
// Windows); the widgets want QString. File names typed by the operator come
// back the way they were typed.
#include <QString>
#include <string>

namespace fenwyd::ui {

inline QString Qs(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string Local8(const QString& s) { return s.toLocal8Bit().toStdString(); }

}  // namespace fenwyd::ui
