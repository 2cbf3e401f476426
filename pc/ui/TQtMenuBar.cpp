#include "TQtMenuBar.h"

#include <QCoreApplication>
#include <QMenu>
#include <QMetaObject>

#include "host/THost.h"
#include "host/TMenu.h"

namespace {
// The current application's host.
class THostCommands : public TQtMenuBar::ICommands {
public:
  void Execute(int32_t id) override {
    if (THost* host = Host()) host->Execute(id);
  }
  bool IsEnabled(int32_t id) override {
    THost* host = Host();
    return host && host->IsEnabled(id) != 0;
  }
  bool IsChecked(int32_t id) override {
    THost* host = Host();
    return host && host->IsChecked(id) != 0;
  }

private:
  static THost* Host() { return dynamic_cast<THost*>(TApp::GetCurrent()); }
};
THostCommands hostCommands;

QString Text(const TStr& text) { return QString::fromUtf8(text.Text()); }
}  // namespace

TQtMenuBar::TQtMenuBar(QMenuBar& menuBar, TMenu& menuModel, ICommands* menuCommands)
    : bar(menuBar), model(menuModel), commands(menuCommands), receiver(std::make_unique<QObject>()) {
  for (const TMenu::TItem& item : model.GetItems()) {
    if (!item.submenu) continue;
    QMenu* menu = bar.addMenu(Text(item.text));
    TMenu* submodel = item.submenu.get();
    // The model's items may change after the bar was made (the recent files come
    // once the window exists): a menu is filled again each time it opens.
    QObject::connect(menu, &QMenu::aboutToShow, receiver.get(), [this, menu, submodel] {
      Fill(*menu, *submodel);
      RefreshMenu(menu);
    });
    Fill(*menu, *submodel);
  }
  Refresh();
}

TQtMenuBar::ICommands& TQtMenuBar::Commands() { return commands ? *commands : hostCommands; }

void TQtMenuBar::Forget(QMenu& menu) {
  for (QAction* action : menu.actions()) {
    if (QMenu* submenu = action->menu()) {
      Forget(*submenu);
      submenu->deleteLater();
    } else if (!action->isSeparator()) {
      auto found = actions.find(action->data().toInt());
      if (found != actions.end() && found->second == action) actions.erase(found);
    }
  }
  menu.clear();
}

void TQtMenuBar::Fill(QMenu& menu, TMenu& submodel) {
  Forget(menu);
  for (const TMenu::TItem& item : submodel.GetItems()) {
    if (item.submenu) {
      QMenu* nested = menu.addMenu(Text(item.text));
      QObject::connect(nested, &QMenu::aboutToShow, receiver.get(), [this, nested] { RefreshMenu(nested); });
      Fill(*nested, *item.submenu);
    } else if (item.separator) {
      menu.addSeparator();
    } else {
      QAction* action = menu.addAction(Text(item.text));
      action->setData(item.id);
      const int32_t id = item.id;
      QObject::connect(action, &QAction::triggered, receiver.get(), [this, id] { Run(id); });
      actions[id] = action;
    }
  }
}

void TQtMenuBar::Run(int32_t id) {
  // After the menu has closed, as the window system sends its commands: a command may
  // replace the frame that holds this menu bar.
  ICommands* target = &Commands();
  QMetaObject::invokeMethod(QCoreApplication::instance(), [target, id] { target->Execute(id); }, Qt::QueuedConnection);
}

QAction* TQtMenuBar::Action(int32_t id) const {
  auto found = actions.find(id);
  return found == actions.end() ? nullptr : found->second;
}

void TQtMenuBar::RefreshAction(QAction& action) {
  const int32_t id = action.data().toInt();
  action.setText(Text(model.GetItemText(id)));
  action.setEnabled(model.IsItemEnabled(id) && Commands().IsEnabled(id));
  const bool checked = model.IsItemChecked(id) || Commands().IsChecked(id);
  action.setCheckable(checked);
  action.setChecked(checked);
}

void TQtMenuBar::RefreshMenu(QMenu* menu) {
  for (QAction* action : menu->actions()) {
    if (QMenu* submenu = action->menu())
      RefreshMenu(submenu);
    else if (!action->isSeparator())
      RefreshAction(*action);
  }
}

void TQtMenuBar::Refresh() {
  for (auto& [id, action] : actions) RefreshAction(*action);
}
