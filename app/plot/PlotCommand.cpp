#include "app/plot/PlotCommand.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include <charconv>
#include <cstdio>

#include "app/core/CheckedFile.h"
#include "app/core/ExitStatus.h"
#include "app/plot/PlotPage.h"
#include "app/plot/Recording.h"
#include "app/ui/Snapshot.h"
#include "app/ui/Style.h"

namespace plot {

namespace {

void say(const std::string& text) {
  std::fprintf(stderr, "ferrolux plot: %s\n", text.c_str());
}

bool endsWith(const std::string& s, const char* suffix) {
  const std::string_view end(suffix);
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

PlotRequest PlotRequest::parse(const std::vector<std::string>& args) {
  PlotRequest r;
  for (std::size_t i = 0; i < args.size() && r.error.empty(); ++i) {
    const std::string& a = args[i];
    if (a == "--dark") {
      r.dark = true;
    } else if (a == "--incomplete") {
      r.incomplete = true;
    } else if (a == "--output" || a == "--width") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        r.error = a + " needs a value";
      } else if (a == "--output") {
        r.output = args[++i];
      } else {
        const std::string& v = args[++i];
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), r.width);
        if (ec != std::errc() || end != v.data() + v.size() || r.width < PlotPage::kMinWidth ||
            r.width > PlotPage::kMaxWidth) {
          r.error = "--width needs a number of points from " + std::to_string(PlotPage::kMinWidth) +
                    " to " + std::to_string(PlotPage::kMaxWidth);
        }
      }
    } else if (a.rfind("--", 0) == 0 || !r.input.empty()) {
      r.error = "unexpected argument " + a;
    } else {
      r.input = a;
    }
  }
  if (r.error.empty() && r.input.empty()) r.error = "plot needs a recording: FILE.csv";
  if (r.error.empty() && r.output && !endsWith(*r.output, ".png") && !endsWith(*r.output, ".svg"))
    r.error = "--output needs a file ending in .png or .svg";
  return r;
}

int runPlot(const PlotRequest& request, int& argc, char** argv) {
  QFile file(QString::fromStdString(request.input));
  if (!file.open(QIODevice::ReadOnly)) {
    say("cannot read " + request.input + ": " + file.errorString().toStdString());
    return exitstatus::kNoInput;
  }
  const QByteArray bytes = file.readAll();
  const ReadResult read = readRecording(std::string_view(bytes.constData(), size_t(bytes.size())));
  if (!read.ok()) {
    say(request.input + ":" + std::to_string(read.errorLine) + ": " + read.error);
    return exitstatus::kDataError;
  }
  if (read.partialLine) {
    say(request.input + ":" + std::to_string(read.partialLine) +
        ": the last line is cut off (the recording stopped while writing it); it is left out");
  }
  std::string output = request.output.value_or("");
  if (output.empty()) {
    const QFileInfo in(QString::fromStdString(request.input));
    output = (in.path() + QStringLiteral("/") + in.completeBaseName() + QStringLiteral(".png"))
                 .toStdString();
  }

  Snapshot::prepareEnvironment();
  QApplication app(argc, argv);
  QApplication::setPalette(Style::windowPalette(request.dark));
  const PageOptions options{QFileInfo(file).fileName(), request.dark, request.width,
                            request.incomplete || read.partialLine != 0};
  PlotPage page(read.recording, options);
  const QByteArray picture = endsWith(output, ".svg") ? page.svg() : page.png();
  const std::string problem =
      picture.isEmpty()
          ? "nothing was drawn"
          : checkedfile::replaceFile(output,
                                     std::string_view(picture.constData(), size_t(picture.size())));
  if (!problem.empty()) {
    say("cannot write " + output + ": " + problem);
    return exitstatus::kCannotWrite;
  }
  const std::size_t rows = read.recording.rows();
  say(std::to_string(rows) + (rows == 1 ? " row" : " rows") + ", written to " + output);
  return 0;
}

}  // namespace plot
