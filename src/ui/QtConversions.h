#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

#include "support/Value.h"

namespace quorvel::ui {

// The core speaks UTF-8 std::string and shared Data; Qt speaks QString and
// QByteArray. These convert at the boundary and nowhere else.

inline QString toQString(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string toStdString(const QString& text) { return text.toUtf8().toStdString(); }

QStringList toQStringList(const std::vector<std::string>& list);
std::vector<std::string> toStdStrings(const QStringList& list);

// A copy of the bytes (Data is immutable and shared; QByteArray is not).
QByteArray toQByteArray(const Data& data);
Data toData(const QByteArray& bytes);

// The text a table cell or a field shows for a tag value: text as it is,
// numbers in decimal, data as UTF-8 when it is, else "<n bytes>".
QString displayText(const Object& value);

// A path as the user reads it: the home folder shortened to "~".
QString displayPath(const QString& path);

}  // namespace quorvel::ui
