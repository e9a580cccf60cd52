// The main window as it opens, the menu bar, start-up and quit.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

#include "app/application.h"
#include "app/scratch_folder.h"
#include "app/menubar.h"
#include "tests/support/window_fixture.h"

namespace {

struct Expected {
  const char* name;
  int index;
  QRect bounds;
  const char* text;
};

// Creation order with the bounds and texts the window is laid out with.
const Expected kControls[] = {
    {"rettoboldo", -1, {-40, 34, 30, 30}, nullptr},
    {"rettopreso", -1, {-40, 75, 30, 30}, nullptr},
    {"Rectangle3", -1, {180, 0, 570, 600}, nullptr},
    {"Rectangle1", -1, {132, 102, 38, 18}, nullptr},
    {"Rectangle2", -1, {132, 127, 38, 18}, nullptr},
    {"Rectcolore", 0, {130, 100, 38, 18}, nullptr},
    {"Rectcolore", 1, {130, 125, 38, 18}, nullptr},
    {"EditXY", 0, {130, 155, 40, 20}, "18"},
    {"EditXY", 1, {130, 180, 40, 20}, "18"},
    {"EditXY", 5, {130, 205, 40, 20}, "3"},
    {"EditXY", 2, {130, 321, 40, 20}, "18"},
    {"EditXY", 3, {130, 346, 40, 20}, "400"},
    {"EditXY", 4, {130, 371, 40, 20}, "200"},
    {"EditXY", 6, {130, 396, 40, 20}, "0"},
    {"EditXY", 7, {130, 421, 40, 20}, "360"},
    {"tStatic1", -1, {68, 105, 55, 12}, "fore color"},
    {"tStatic2", -1, {10, 130, 113, 12}, "background or image"},
    {"StaticT", 0, {10, 159, 115, 12}, "horizontal size (pixels)"},
    {"StaticT", 1, {10, 184, 115, 12}, "vertical size (pixels)"},
    {"StaticT", 2, {83, 325, 37, 12}, "steps"},
    {"StaticT", 3, {83, 350, 37, 12}, "width"},
    {"StaticT", 4, {83, 375, 37, 12}, "height"},
    {"StaticText8", -1, {10, 5, 160, 20}, "Animation controls"},
    {"LogEditField", -1, {10, 530, 160, 60}, nullptr},
    {"StaticText10", -1, {10, 510, 160, 18}, "Log / Messages"},
    {"StaticT", 5, {10, 209, 115, 12}, "border (pixels)"},
    {"PushButton2", -1, {10, 485, 160, 20}, "Export QuickTime Movie.."},
    {"PushButton4", -1, {10, 455, 160, 20}, "Export Frames as PICTs.."},
    {"StaticT", 6, {10, 400, 110, 12}, "start angle"},
    {"StaticT", 7, {10, 425, 110, 12}, "animation angle"},
    {"StaticText11", -1, {340, 3, 200, 16}, "Movie / Frames Preview (low quality)"},
    {"BevelB", 0, {10, 30, 28, 28}, nullptr},
    {"BevelB", 1, {43, 30, 28, 28}, nullptr},
    {"BevelB", 2, {10, 62, 28, 28}, nullptr},
    {"BevelB", 3, {43, 62, 28, 28}, nullptr},
    {"BevelB", 4, {109, 62, 28, 28}, "T"},
    {"BevelB", 5, {142, 30, 28, 28}, nullptr},
    {"BevelB", 6, {142, 62, 28, 28}, nullptr},
    {"MoviePlayer1", -1, {}, nullptr},
    {"BevelB", 7, {76, 30, 28, 28}, nullptr},
    {"BevelB", 8, {76, 62, 28, 28}, nullptr},
    {"BevelB", 9, {109, 30, 28, 28}, nullptr},
    {"RadioBu", 0, {10, 323, 75, 16}, "Move"},
    {"RadioBu", 1, {10, 348, 75, 16}, "Copy"},
    {"RadioBu", 2, {10, 373, 75, 16}, "Copy Clear"},
    {"rettoboldo1", -1, {-40, 233, 30, 30}, nullptr},
    {"rettopreso1", -1, {-40, 274, 30, 30}, nullptr},
    {"Line1", -1, {}, nullptr},
};

const int kMotionOrder[] = {0, 2, 4, 6, 1, 3, 5, 7, 8, 9};

QString TextOf(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  return {};
}

class MainWindowTest : public WindowTest {};

}  // namespace

TEST_F(MainWindowTest, ControlsStandWhereTheLayoutPutsThem) {
  OpenWindow();
  const auto& order = w_->Controls().CreationOrder();
  const size_t fixed = std::size(kControls);
  ASSERT_EQ(order.size(), fixed + 10);
  for (size_t i = 0; i < fixed; ++i) {
    const Expected& e = kControls[i];
    EXPECT_EQ(order[i].first, e.name) << i;
    EXPECT_EQ(order[i].second, e.index) << i;
    QWidget* c = w_->Controls().Find(e.name, e.index);
    ASSERT_TRUE(c) << e.name;
    const bool moved = QString(e.name).startsWith("rettopreso") || QString(e.name) == "MoviePlayer1";
    if (!e.bounds.isNull() && !moved) {
      EXPECT_EQ(c->geometry(), e.bounds) << e.name << " " << e.index;
    }
    if (e.text) {
      EXPECT_EQ(TextOf(c), e.text) << e.name << " " << e.index;
    }
  }
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(order[fixed + k], std::make_pair(QString("BevelAnimation"), kMotionOrder[k]));
    const int m = kMotionOrder[k];
    EXPECT_EQ(w_->BevelAnimation[m]->geometry(), QRect(10 + 33 * (m / 2), 250 + 32 * (m % 2), 28, 28));
    EXPECT_TRUE(w_->BevelAnimation[m]->Icon());
    EXPECT_TRUE(w_->BevelAnimation[m]->Caption().isEmpty());
  }
  EXPECT_EQ(w_->BevelAnimation[9]->toolTip(), "RANDOM");
  EXPECT_EQ(w_->BevelAnimation[8]->toolTip(), "Edit PATH..");
  EXPECT_EQ(w_->BevelAnimation[0]->toolTip(), "linear from left to right");
  // Drawing order follows creation order: the player lies above the backdrop.
  const auto kids = w_->Content()->children();
  EXPECT_LT(kids.indexOf(w_->Rectangle3), kids.indexOf(w_->MoviePlayer1));
}

TEST_F(MainWindowTest, ControlsOpenWithTheirStatesAndLooks) {
  OpenWindow();
  EXPECT_EQ(w_->windowTitle(), "Velostrip");
  EXPECT_EQ(w_->Content()->size(), QSize(750, 600));
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(w_->EditXY[k]->isEnabled(), k < 5) << k;
    EXPECT_EQ(w_->StaticT[k]->isEnabled(), k < 5) << k;
  }
  EXPECT_TRUE(w_->RadioBu[0]->Value());
  EXPECT_EQ(w_->Rectcolore[0]->FillColor(), 0x000080u);
  EXPECT_EQ(w_->Rectcolore[1]->FillColor(), 0x66CCFFu);
  EXPECT_EQ(w_->Rectcolore[0]->toolTip(), "click to select object fore color (not for custom images)");
  EXPECT_EQ(w_->tStatic2->toolTip(), "click here to choose a background image;\n(ctrl+click to remove loaded image).");
  EXPECT_TRUE(w_->LogEditField->isReadOnly());
  EXPECT_TRUE(w_->LogEditField->Text().isEmpty());
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(bool(w_->BevelB[k]->Icon()), k != 4) << k;
    EXPECT_EQ(w_->BevelB[k]->focusPolicy(), Qt::NoFocus);
  }
  EXPECT_EQ(w_->BevelB[4]->toolTip(), "Write a text to animate");
  EXPECT_EQ(w_->BevelB[5]->toolTip(), "Load an image (white will not be transparent)");
  EXPECT_EQ(w_->BevelB[6]->toolTip(), "Load an image (white will be transparent)");
  // The marks sit around the default object and motion.
  EXPECT_EQ(w_->rettopreso->geometry(), QRect(9, 29, 30, 30));
  EXPECT_EQ(w_->rettopreso1->geometry(), QRect(9, 249, 30, 30));
  // The window's state as it opens.
  EXPECT_EQ(w_->oggetto, 0);
  EXPECT_EQ(w_->movimento, 0);
  EXPECT_FALSE(w_->sfondo);
  ASSERT_TRUE(w_->immagine);
  EXPECT_EQ(w_->immagine->Width(), 64);
  for (const QString& s : w_->asciino) EXPECT_TRUE(s.isEmpty());
  EXPECT_EQ(w_->percorso.Get(0, 0), 0.0);
  EXPECT_EQ(Window1::Instance(), w_);
}

TEST_F(MainWindowTest, MenuBarHasFileAndEdit) {
  OpenWindow();
  MenuBar1* bar = MenuBar1::Instance();
  EXPECT_EQ(MenuBar1::Instance(), bar);
  EXPECT_EQ(MenuBar1::ConstructionCount(), 1);
  ASSERT_EQ(bar->Menus().size(), 2u);
  auto texts = [](const MenuItemPtr& menu) {
    QStringList t;
    for (const auto& i : menu->children) t << i->Text + "|" + i->KeyboardShortcut;
    return t;
  };
  EXPECT_EQ(bar->Menus()[0]->Text, "&File");
  EXPECT_EQ(texts(bar->Menus()[0]), QStringList({"Open..|Cmd+O", "Save as..|Cmd+S", "Export As..|Cmd+E", "-|",
                                                 "Velostrip info..|Cmd+I", "&Quit|Cmd+Q"}));
  EXPECT_EQ(bar->Menus()[1]->Text, "&Edit");
  EXPECT_EQ(texts(bar->Menus()[1]), QStringList({"&Undo|Cmd+Z", "-|", "Cu&t|Cmd+X", "&Copy|Cmd+C", "&Paste|Cmd+V",
                                                 "&Delete|", "-|", "Select &All|Cmd+A"}));
  EXPECT_EQ(bar->Find("FileVelostripinfo")->Class, "PrefsMenuItem");
  EXPECT_EQ(bar->Find("FileQuit")->Class, "QuitMenuItem");
  // The window shows the same menus, Command as Control.
  QList<QMenu*> menus = w_->menuBar()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly);
  ASSERT_EQ(menus.size(), 2);
  QAction* open = w_->menuBar()->findChild<QAction*>("FileOpen");
  ASSERT_TRUE(open);
  EXPECT_EQ(open->shortcut(), QKeySequence("Ctrl+O"));
  EXPECT_TRUE(open->isEnabled());
  EXPECT_EQ(w_->menuBar()->findChild<QAction*>("FileQuit")->shortcut(), QKeySequence("Ctrl+Q"));
  EXPECT_TRUE(w_->menuBar()->findChild<QAction*>("EditClear")->shortcut().isEmpty());
}

TEST_F(MainWindowTest, EditMenuActsOnTheFocusedField) {
  OpenWindow();
  w_->show();
  w_->activateWindow();
  w_->EditXY[2]->setFocus();
  QApplication::processEvents();
  if (QApplication::focusWidget() != w_->EditXY[2]) GTEST_SKIP() << "no keyboard focus on this platform";
  MenuBar1::Instance()->Choose("EditSelectAll");
  EXPECT_EQ(w_->EditXY[2]->selectedText(), "18");
  MenuBar1::Instance()->Choose("EditClear");
  EXPECT_EQ(w_->EditXY[2]->Text(), "");
}

TEST_F(MainWindowTest, StartUpClearsTheScratchFolderAwayBeforeTheWindowOpens) {
  QDir(AppDir()).mkpath("ftemp");
  for (const char* name : {"temp1.mov", "temp2.mov", "temp_temp_scratch.mov"}) {
    QFile f(ScratchDir() + "/" + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old preview");
  }
  App* app = StartUp();
  ASSERT_TRUE(app);
  w_ = Window1::InstanceIfOpen();
  ASSERT_TRUE(w_);
  // The old folder went to the Trash, emptied; the opening made a new one.
  EXPECT_TRUE(QFileInfo(TrashFiles() + "/ftemp").isDir());
  EXPECT_TRUE(QDir(TrashFiles() + "/ftemp").isEmpty());
  EXPECT_TRUE(QFileInfo::exists(DataDir() + "/Trash/info/ftemp.trashinfo"));
  for (const char* name : {"temp1.mov", "temp2.mov", "temp3.mov"})
    EXPECT_TRUE(QFileInfo::exists(ScratchDir() + "/" + name)) << name;

  // Quitting from the menu clears it once more, and only once.
  MenuBar1::Instance()->Choose("FileQuit");
  EXPECT_TRUE(app->Quitting());
  EXPECT_FALSE(QFileInfo::exists(ScratchDir()));
  MenuBar1::Instance()->Choose("FileQuit");
  w_->close();
  EXPECT_EQ(QDir(TrashFiles()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);
}

TEST_F(MainWindowTest, ClosingTheWindowQuitsAndClearsOnce) {
  App* app = StartUp();
  w_ = Window1::InstanceIfOpen();
  ASSERT_TRUE(QFileInfo(ScratchDir()).isDir());
  w_->close();
  EXPECT_TRUE(app->Quitting());
  EXPECT_FALSE(QFileInfo::exists(ScratchDir()));
  EXPECT_EQ(QDir(TrashFiles()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
  MenuBar1::Instance()->Choose("FileQuit");
  EXPECT_EQ(QDir(TrashFiles()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}

TEST_F(MainWindowTest, CleanUpLeavesAPlainFileAndAMissingFolderAlone) {
  CleanUpScratchFolder();
  EXPECT_FALSE(QFileInfo::exists(TrashFiles()));
  QFile plain(ScratchDir());
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.write("mine");
  plain.close();
  CleanUpScratchFolder();
  EXPECT_TRUE(QFileInfo(ScratchDir()).isFile());
  EXPECT_FALSE(QFileInfo::exists(TrashFiles() + "/ftemp"));

  // A link of that name to someone's folder: the folder's files stay.
  QFile::remove(ScratchDir());
  QDir(Root()).mkpath("elsewhere");
  QFile keep(Root() + "/elsewhere/keep.txt");
  ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
  keep.close();
  ASSERT_TRUE(QFile::link(Root() + "/elsewhere", ScratchDir()));
  CleanUpScratchFolder();
  EXPECT_TRUE(QFileInfo::exists(Root() + "/elsewhere/keep.txt"));
}

// A scratch folder full of old files is read once, not once per entry: the
// clean-up's cost grows with the number of entries, not with its square.
TEST_F(MainWindowTest, CleanUpReadsAFullScratchFolderOnce) {
  ASSERT_TRUE(QDir(AppDir()).mkpath("ftemp"));
  constexpr int kFiles = 3000;
  for (int i = 0; i < kFiles; ++i) {
    QFile f(ScratchDir() + "/temp" + QString::number(i) + ".mov");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  const int listingsBefore = FolderListingCount();
  CleanUpScratchFolder();
  EXPECT_EQ(FolderListingCount() - listingsBefore, 1);
  EXPECT_FALSE(QFileInfo::exists(ScratchDir()));
  EXPECT_TRUE(QDir(TrashFiles() + "/ftemp").isEmpty());
}
