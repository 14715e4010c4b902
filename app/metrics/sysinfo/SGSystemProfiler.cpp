#include "app/metrics/sysinfo/SGSystemProfiler.h"

#include <charconv>

#include <QProcess>
#include <QProcessEnvironment>

std::optional<plist::Value> SGSystemProfiler::itemsFromDocument(std::string_view bytes) {
  plist::ParseResult parsed = plist::parse(bytes);
  if (!parsed.ok()) return std::nullopt;
  const plist::Value& first = (*parsed.value)[size_t{0}];
  if (!parsed.value->isArray() || !first.isDict()) return std::nullopt;
  const plist::Value& list = first["_items"];
  if (!list.isArray() || !list[size_t{0}].isDict()) return std::nullopt;
  return list[size_t{0}];
}

int64_t SGSystemProfiler::coresFromItems(const std::optional<plist::Value>& items) {
  const std::string* text = items ? (*items)["sppci_cores"].string() : nullptr;
  std::string_view s = text ? std::string_view(*text) : std::string_view("-1");
  // A decimal integer with an optional sign, nothing else; overflow counts as invalid.
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty() || s.front() == '+') return -1;
  int64_t value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return -1;
  return value;
}

std::optional<plist::Value> SGSystemProfiler::items(platform::Platform& platform,
                                                    std::string_view dataType) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const auto& [name, value] : platform.toolEnvironment()) {
    env.insert(QString::fromStdString(name), QString::fromStdString(value));
  }
  process.setProcessEnvironment(env);
  process.setStandardErrorFile(QProcess::nullDevice());
  process.setStandardInputFile(QProcess::nullDevice());
  process.start(QString::fromStdString(platform.toolPaths().systemProfiler),
                {QStringLiteral("-xml"), QString::fromUtf8(dataType.data(), dataType.size())});
  if (!process.waitForStarted()) return std::nullopt;
  if (!process.waitForFinished(kTimeoutMs)) {
    process.kill();
    process.waitForFinished();
    return std::nullopt;
  }
  const QByteArray out = process.readAllStandardOutput();
  return itemsFromDocument(std::string_view(out.constData(), static_cast<size_t>(out.size())));
}

int64_t SGSystemProfiler::numberOfGPUCores(platform::Platform& platform) {
  return coresFromItems(items(platform, "SPDisplaysDataType"));
}
