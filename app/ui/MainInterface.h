// The window's content below the more-button: on a processor the platform cannot sample, one
// line of refusal and nothing else; otherwise the chip title over the measurement modules, with
// the helper card covering the modules (not the title) while the helper is not authorized.
//
// It creates its ContentModel when first shown (which runs the helper's start-up check) and
// redraws the card whenever that model announces a change, reading the manager's flags then.
// Main thread only.
#pragma once

#include <QList>
#include <QWidget>

#include <memory>

class ContentModel;
class GeneralModel;
class HelperCard;
class ModuleView;
class ModuleViewMainTitle;
class QLabel;
class UserDefaults;

class MainInterface : public QWidget {
  Q_OBJECT

 public:
  static QString refusalText();

  MainInterface(GeneralModel& model, UserDefaults& defaults, QWidget* parent = nullptr);
  ~MainInterface() override;

  const std::shared_ptr<ContentModel>& contentModel() const { return content_; }
  bool hideUpdateButton() const { return hideUpdateButton_; }

  // Null where they are not shown at all (the refusal has none of them, the title and modules
  // have no refusal).
  QLabel* refusal() const { return refusal_; }
  ModuleViewMainTitle* title() const { return title_; }
  const QList<ModuleView*>& modules() const { return modules_; }
  HelperCard* helperCard() const { return card_; }

 public slots:
  // Shows or hides the helper card and picks its form from the manager's current flags.
  void refresh();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void pressUpdate();
  void placeCard();

  GeneralModel& model_;
  std::shared_ptr<ContentModel> content_;
  bool hideUpdateButton_ = false;
  QLabel* refusal_ = nullptr;
  ModuleViewMainTitle* title_ = nullptr;
  QWidget* stack_ = nullptr;  // the modules, under the card
  QList<ModuleView*> modules_;
  HelperCard* card_ = nullptr;
};
