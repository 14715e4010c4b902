#include "app/ui/ModuleViewMainTitle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/metrics/sysinfo/ModuleModelMainTitle.h"
#include "app/ui/Style.h"

namespace {

QLabel* text(const QFont& font, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setFont(font);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QHBoxLayout* row(QLabel* left, QLabel* right) {
  auto* layout = new QHBoxLayout;
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);
  // Both texts share a baseline-ish centre line, as in a horizontal stack centred vertically.
  layout->addWidget(left, 0, Qt::AlignVCenter);
  layout->addWidget(right, 0, Qt::AlignVCenter);
  layout->addStretch(1);
  return layout;
}

}  // namespace

ModuleViewMainTitle::ModuleViewMainTitle(const ModuleModelMainTitle& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      chip_(text(Style::font(TextStyle::Title2, QFont::Bold), this)),
      cores_(text(Style::font(TextStyle::Title3, QFont::Medium), this)),
      gpu_(text(Style::font(TextStyle::Title3, QFont::Bold), this)),
      gpuCores_(text(Style::font(TextStyle::Headline, QFont::Medium), this)) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(8);
  column->addLayout(row(chip_, cores_));
  column->addLayout(row(gpu_, gpuCores_));
  connect(&model_, &ModuleModelMainTitle::changed, this, &ModuleViewMainTitle::refresh);
  refresh();
}

QString ModuleViewMainTitle::coresText(int64_t eCores, int64_t pCores) {
  if (eCores > 0) return QStringLiteral("(%1 E-Cores + %2 P-Cores)").arg(eCores).arg(pCores);
  // A machine without efficiency cores has cores of one kind: naming them P-cores beside
  // "0 E-Cores" says something false.
  if (pCores > 0) return QStringLiteral("(%1 Cores)").arg(pCores);
  return {};
}

QString ModuleViewMainTitle::gpuCoresText(int64_t gpuCores) {
  return gpuCores >= 0 ? QStringLiteral("(%1 GPU-Cores)").arg(gpuCores) : QString();
}

void ModuleViewMainTitle::refresh() {
  chip_->setText(model_.appleSiliconName());
  cores_->setText(coresText(model_.numberOfECore(), model_.numberOfPCore()));
  // A machine without a GPU shows no GPU row rather than an "Unknown" one.
  gpu_->setText(model_.hasGPU() ? model_.gpuName() : QString());
  gpuCores_->setText(model_.hasGPU() ? gpuCoresText(model_.numberOfGPUCore()) : QString());
  gpu_->setVisible(model_.hasGPU());
  gpuCores_->setVisible(!gpuCores_->text().isEmpty());
  cores_->setVisible(!cores_->text().isEmpty());
}

QStringList ModuleViewMainTitle::texts() const {
  return {chip_->text(), cores_->text(), gpu_->text(), gpuCores_->text()};
}
