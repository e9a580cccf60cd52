#pragma once
// The program's one menu bar, File and Edit, built once and shown on the main
// window. Items are found by name; handlers are bound to item names.
#include <QPointer>
#include <QAction>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QMainWindow;
class QMenu;

struct MenuItem {
  QString Name;
  QString Class = "MenuItem";  // "MenuItem", "PrefsMenuItem", "QuitMenuItem" or "SubMenu"
  bool AutoEnable = true;
  QString Text;               // "&" marks the access key; "-" is a separator
  QString KeyboardShortcut;   // "Cmd+O": Control and the letter here
  QStringList MoreShortcuts;  // further keys for the same item
  bool Enabled = true;
  std::vector<std::shared_ptr<MenuItem>> children;
  QPointer<QAction> action;  // once shown in a window

  void Enable();
  void SetEnabled(bool on);
  // What the item shows, Text with more words after it ("&Undo Colour").
  void ShowText(const QString& shown);
  void Append(const std::shared_ptr<MenuItem>& child) { children.push_back(child); }
};
using MenuItemPtr = std::shared_ptr<MenuItem>;

class MenuBar1 {
 public:
  // The single menu bar, made on first request.
  static MenuBar1* Instance();
  static int ConstructionCount();  // for tests

  const std::vector<MenuItemPtr>& Menus() const { return menus_; }
  MenuItemPtr Child(const QString& name) const;  // a menu of the bar
  MenuItemPtr Find(const QString& name) const;   // any menu or item

  // Runs when the item is chosen; returns what the handler returned.
  void Bind(const QString& itemName, std::function<bool()> handler);
  void SetQuitHandler(std::function<void()> quit) { quit_ = std::move(quit); }
  void SetEnableMenuItemsHandler(std::function<void()> h) { enableItems_ = std::move(h); }
  // Fills a submenu ("SubMenu" item) afresh each time it opens.
  void SetSubMenuFiller(const QString& itemName, std::function<void(QMenu*)> fill);
  // Chooses the item, as the user does (used by the window's actions and tests).
  void Choose(const QString& itemName);

  // Shows the menus in the window's menu bar.
  void InstallOn(QMainWindow* window);

 private:
  MenuBar1();
  void Add(const QString& menuName, const QString& cls, const QString& name, const QString& text,
           const QString& shortcut, bool separator = false);
  std::vector<MenuItemPtr> menus_;
  std::vector<std::pair<QString, std::function<bool()>>> handlers_;
  std::function<void()> quit_;
  std::function<void()> enableItems_;
  std::vector<std::pair<QString, std::function<void(QMenu*)>>> fillers_;
};
