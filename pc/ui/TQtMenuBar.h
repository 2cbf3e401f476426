// The menu bar of a frame, built from the host's menu model: one menu per submenu of
// the model, items with their texts and access keys, separators, nested submenus.
// Whenever a menu opens, its items are made again from the model (items come and go:
// the recent files), and each item's text, enabled state and check mark are read
// again: the text and check mark from the model (the commands set them there),
// enabled when the model and the host's enabled query both say so, checked when the
// model or the host's checked query says so. Choosing an item runs the host's
// command once the menu has closed.
//
// Threading: the user-interface thread only.
#pragma once
#include <QAction>
#include <QMenuBar>
#include <map>
#include <memory>

class TMenu;

class TQtMenuBar {
public:
  // The host that answers the commands; null: the current application's host.
  class ICommands {
  public:
    virtual ~ICommands() = default;
    virtual void Execute(int32_t id) = 0;
    virtual bool IsEnabled(int32_t id) = 0;
    virtual bool IsChecked(int32_t id) = 0;
  };

  // Fills bar from model; the actions belong to bar.
  TQtMenuBar(QMenuBar& bar, TMenu& model, ICommands* commands = nullptr);

  // Reads every item's state again (what opening a menu does).
  void Refresh();
  // The action of command id, or null.
  QAction* Action(int32_t id) const;
  QMenuBar& Bar() const { return bar; }

private:
  // Makes menu's items from model anew.
  void Fill(QMenu& menu, TMenu& model);
  // Drops menu's items and the submenus under them.
  void Forget(QMenu& menu);
  void RefreshMenu(QMenu* menu);
  void RefreshAction(QAction& action);
  void Run(int32_t id);
  ICommands& Commands();

  QMenuBar& bar;
  TMenu& model;
  ICommands* commands;
  // The receiver of the menus' signals: they end with this object.
  std::unique_ptr<QObject> receiver;
  std::map<int32_t, QAction*> actions;
};
