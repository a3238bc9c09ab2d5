#include "ui/QtConversions.h"

#include <QDir>

namespace quorvel::ui {

QStringList toQStringList(const std::vector<std::string>& list) {
  QStringList result;
  result.reserve(static_cast<qsizetype>(list.size()));
  for (const auto& item : list) {
    result.append(toQString(item));
  }
  return result;
}

std::vector<std::string> toStdStrings(const QStringList& list) {
  std::vector<std::string> result;
  result.reserve(static_cast<std::size_t>(list.size()));
  for (const auto& item : list) {
    result.push_back(toStdString(item));
  }
  return result;
}

QByteArray toQByteArray(const Data& data) {
  return QByteArray(reinterpret_cast<const char*>(data.bytes()),
                    static_cast<qsizetype>(data.size()));
}

Data toData(const QByteArray& bytes) {
  return Data(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString displayText(const Object& value) {
  if (value.isNone()) {
    return {};
  }
  if (auto text = value.stringValue()) {
    return toQString(*text);
  }
  if (value.isData()) {
    return QStringLiteral("<%1 bytes>").arg(value.data().size());
  }
  return {};
}

QString displayPath(const QString& path) {
  const QString home = QDir::homePath();
  if (!home.isEmpty() && home != QStringLiteral("/") &&
      (path == home || path.startsWith(home + QLatin1Char('/')))) {
    return QStringLiteral("~") + path.mid(home.size());
  }
  return path;
}

}  // namespace quorvel::ui
