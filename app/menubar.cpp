#include "app/menubar.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QTextEdit>

namespace {
int g_constructions = 0;

// The Edit commands act on whichever text field has the focus.
void EditCommand(const QString& name) {
  QWidget* focus = QApplication::focusWidget();
  if (auto* line = qobject_cast<QLineEdit*>(focus)) {
    if (name == "EditUndo") line->undo();
    else if (name == "EditCut") line->cut();
    else if (name == "EditCopy") line->copy();
    else if (name == "EditPaste") line->paste();
    else if (name == "EditClear") {
      if (line->hasSelectedText()) line->del();  // the selection only, never the next character
    } else if (name == "EditSelectAll") line->selectAll();
  } else if (auto* text = qobject_cast<QTextEdit*>(focus)) {
    if (name == "EditUndo") text->undo();
    else if (name == "EditCut") text->cut();
    else if (name == "EditCopy") text->copy();
    else if (name == "EditPaste") text->paste();
    else if (name == "EditClear") text->textCursor().removeSelectedText();
    else if (name == "EditSelectAll") text->selectAll();
  }
}
}  // namespace

void MenuItem::Enable() {
  Enabled = true;
  if (action) action->setEnabled(true);
}

MenuBar1* MenuBar1::Instance() {
  static MenuBar1* bar = new MenuBar1();
  return bar;
}

int MenuBar1::ConstructionCount() { return g_constructions; }

MenuBar1::MenuBar1() {
  ++g_constructions;
  auto menu = [&](const QString& name, const QString& text) {
    auto m = std::make_shared<MenuItem>();
    m->Name = name;
    m->AutoEnable = true;
    m->Text = text;
    m->KeyboardShortcut = "";
    menus_.push_back(m);
  };
  menu("FileMenu", "&File");
  Add("FileMenu", "MenuItem", "FileOpen", "Open..", "Cmd+O");
  Add("FileMenu", "MenuItem", "FileSaveas", "Save as..", "Cmd+S");
  Add("FileMenu", "MenuItem", "FileExportAs", "Export As..", "Cmd+E");
  Add("FileMenu", "MenuItem", "UntitledSeparator", "-", "", true);
  Add("FileMenu", "PrefsMenuItem", "FileVelostripinfo", "Velostrip info..", "Cmd+I");
  Add("FileMenu", "QuitMenuItem", "FileQuit", "&Quit", "Cmd+Q");
  menu("EditMenu", "&Edit");
  Add("EditMenu", "MenuItem", "EditUndo", "&Undo", "Cmd+Z");
  Add("EditMenu", "MenuItem", "UntitledMenu1", "-", "", true);
  Add("EditMenu", "MenuItem", "EditCut", "Cu&t", "Cmd+X");
  Add("EditMenu", "MenuItem", "EditCopy", "&Copy", "Cmd+C");
  Add("EditMenu", "MenuItem", "EditPaste", "&Paste", "Cmd+V");
  Add("EditMenu", "MenuItem", "EditClear", "&Delete", "");
  Add("EditMenu", "MenuItem", "UntitledMenu0", "-", "", true);
  Add("EditMenu", "MenuItem", "EditSelectAll", "Select &All", "Cmd+A");
}

void MenuBar1::Add(const QString& menuName, const QString& cls, const QString& name, const QString& text,
                   const QString& shortcut, bool separator) {
  auto item = std::make_shared<MenuItem>();
  item->Name = name;
  item->Class = cls;
  item->AutoEnable = true;
  item->Text = text;
  if (!separator) item->KeyboardShortcut = shortcut;
  Child(menuName)->Append(item);
}

MenuItemPtr MenuBar1::Child(const QString& name) const {
  for (const auto& m : menus_)
    if (m->Name == name) return m;
  return nullptr;
}

MenuItemPtr MenuBar1::Find(const QString& name) const {
  for (const auto& m : menus_) {
    if (m->Name == name) return m;
    for (const auto& i : m->children)
      if (i->Name == name) return i;
  }
  return nullptr;
}

void MenuBar1::Bind(const QString& itemName, std::function<bool()> handler) {
  handlers_.emplace_back(itemName, std::move(handler));
}

void MenuBar1::Choose(const QString& itemName) {
  for (const auto& [name, handler] : handlers_) {
    if (name == itemName) {
      handler();
      return;
    }
  }
  MenuItemPtr item = Find(itemName);
  if (!item) return;
  if (item->Class == "QuitMenuItem") {
    if (quit_) quit_();
    return;
  }
  EditCommand(itemName);
}

void MenuBar1::InstallOn(QMainWindow* window) {
  QMenuBar* bar = window->menuBar();
  bar->clear();
  for (const auto& m : menus_) {
    QMenu* menu = bar->addMenu(m->Text);
    menu->setObjectName(m->Name);
    QObject::connect(menu, &QMenu::aboutToShow, menu, [this] {
      if (enableItems_) enableItems_();
    });
    for (const auto& item : m->children) {
      if (item->Text == "-") {
        item->action = menu->addSeparator();
        item->action->setObjectName(item->Name);
        continue;
      }
      QAction* a = menu->addAction(item->Text);
      a->setObjectName(item->Name);
      if (!item->KeyboardShortcut.isEmpty()) {
        QString key = item->KeyboardShortcut;
        key.replace("Cmd+", "Ctrl+");
        a->setShortcut(QKeySequence(key));
      }
      a->setEnabled(item->Enabled);
      item->action = a;
      const QString name = item->Name;
      QObject::connect(a, &QAction::triggered, a, [this, name] { Choose(name); });
    }
  }
}
