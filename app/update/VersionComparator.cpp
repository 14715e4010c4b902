#include "app/update/VersionComparator.h"

#include <algorithm>

#include <QChar>
#include <QList>
#include <QStringView>

namespace update {
namespace {

enum class Kind { Number, Text, Separator };

Kind kindOf(QChar c) {
  if (c.isDigit()) return Kind::Number;
  if (c.isPunct() || c.isSpace() || c.isSymbol()) return Kind::Separator;
  return Kind::Text;
}

struct Run {
  Kind kind;
  QStringView text;
};

// Digit runs and text runs grow while the kind stays; every separator stands alone.
QList<Run> split(const QString& version) {
  QList<Run> runs;
  qsizetype start = 0;
  for (qsizetype i = 1; i <= version.size(); ++i) {
    const Kind kind = kindOf(version[start]);
    if (i < version.size() && kind != Kind::Separator && kindOf(version[i]) == kind) continue;
    runs.append({kind, QStringView(version).mid(start, i - start)});
    start = i;
  }
  return runs;
}

QStringView withoutLeadingZeros(QStringView digits) {
  qsizetype i = 0;
  while (i < digits.size() && digits[i] == u'0')
    ++i;
  return digits.mid(i);
}

bool isZero(const Run& run) {
  return run.kind == Kind::Number && withoutLeadingZeros(run.text).isEmpty();
}

int sign(int v) {
  return (v > 0) - (v < 0);
}

// By value, without converting, so no length of digits overflows.
int compareNumbers(QStringView a, QStringView b) {
  a = withoutLeadingZeros(a);
  b = withoutLeadingZeros(b);
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return sign(a.compare(b));
}

int rank(Kind kind) {
  switch (kind) {
    case Kind::Number:
      return 2;
    case Kind::Separator:
      return 1;
    case Kind::Text:
      return 0;
  }
  return 0;
}

}  // namespace

int compareVersions(const QString& a, const QString& b) {
  const QList<Run> runsA = split(a);
  const QList<Run> runsB = split(b);
  const qsizetype common = std::min(runsA.size(), runsB.size());
  for (qsizetype i = 0; i < common; ++i) {
    const Run& x = runsA[i];
    const Run& y = runsB[i];
    if (x.kind != y.kind) return rank(x.kind) > rank(y.kind) ? 1 : -1;
    if (x.kind == Kind::Number) {
      if (const int c = compareNumbers(x.text, y.text)) return c;
    } else if (x.kind == Kind::Text) {
      if (const int c = sign(x.text.compare(y.text))) return c;
    }
  }
  const bool aIsLonger = runsA.size() > runsB.size();
  const QList<Run>& longer = aIsLonger ? runsA : runsB;
  for (qsizetype i = common; i < longer.size(); ++i) {
    const Run& run = longer[i];
    if (run.kind == Kind::Separator || isZero(run)) continue;
    const bool longerIsNewer = run.kind != Kind::Text;
    return (longerIsNewer == aIsLonger) ? 1 : -1;
  }
  return 0;
}

}  // namespace update
