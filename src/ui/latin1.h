#pragma once
// The logic keeps its texts as 8-bit (Latin-1) strings; the widgets want
// QString.
#include <QString>
#include <string>

namespace fenwyd::ui {

inline QString L1(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<int>(s.size()));
}
inline std::string ToL1(const QString& s) { return s.toLatin1().toStdString(); }

}  // namespace fenwyd::ui
