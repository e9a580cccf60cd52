// File > "Export As..": a save dialog listing every format, whose type
// follows the file's extension, then the format's options; the file is the
// command line's for the same project and options, byte for byte.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "app/menubar.h"
#include "framework/folderitem.h"
#include "movie/output_formats.h"
#include "tests/support/window_fixture.h"

namespace {

QByteArray ReadFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ExportAsTest : public WindowTest {
 protected:
  // A drawing over a colour: a filled oval moving right, 7 frames, 61 x 33.
  QString WriteProject() {
    const QString label = "colori componenti rgb di oggetto e sfondo ";
    QStringList lines = {"0", "", "", "false", "false", "false", "", ""};
    lines << "0" + label + "RED" << "0" + label + "GREEN" << "128" + label + "BLUE";
    lines << "102" + label + "RED" << "204" + label + "GREEN" << "255" + label + "BLUE";
    lines << "12" << "12" << "7" << "61" << "33" << "3" << "0" << "360" << "0" << "0" << "0" << "0" << "0" << "0" << "0";
    const QString path = Root() + "/project.txt";
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write((lines.join('\n') + '\n').toUtf8());
    return path;
  }

  int Velostrip(const QStringList& arguments) {
    QProcess process;
    process.start(VELOSTRIP_PROGRAM, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) return -1;
    return process.exitCode();
  }
};

TEST_F(ExportAsTest, EachFormatFamilyIsTheCommandLinesFile) {
  const QString project = WriteProject();
  StartProgram();
  const MenuItemPtr item = MenuBar1::Instance()->Find("FileExportAs");
  ASSERT_TRUE(item);
  EXPECT_EQ(item->Text, "Export As..");
  EXPECT_EQ(item->KeyboardShortcut, "Cmd+E");
  app_->LoadProject(GetFolderItem(project));
  QDir(Root()).mkpath("out");

  struct Case {
    QString file;
    std::optional<ExportOptions> options;  // nullopt: the dialog's default button
    QStringList cli;                        // the same options on the command line
  };
  ExportOptions once;
  once.loopForever = false;
  ExportOptions quality;
  quality.quality = 40;
  const std::vector<Case> cases = {
      {"movie.mov", std::nullopt, {}},  // no options dialog for it
      {"a.gif", once, {"--loop", "once"}},
      {"a.webp", once, {"--loop", "once"}},
      {"a.apng", std::nullopt, {}},
      {"a.mp4", quality, {"--quality", "40"}},
      {"a.webm", std::nullopt, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.toStdString());
    const QString window = Root() + "/out/window-" + c.file, cli = Root() + "/out/cli-" + c.file;
    // The type follows the extension: the answer names the file only.
    dialogs_->saveAnswers.push_back(GetFolderItem(window));
    dialogs_->exportOptionsAnswers.push_back(c.options);
    dialogs_->log.clear();
    MenuBar1::Instance()->Choose("FileExportAs");
    ASSERT_TRUE(QFileInfo::exists(window)) << w_->LogEditField->Text().toStdString();
    EXPECT_TRUE(dialogs_->log.value(0).startsWith("save as QuickTime movie|GIF animation|Animated WebP|Animated PNG|"))
        << dialogs_->log.value(0).toStdString();
    const OutputFormat* format = OutputFormatOfFile(c.file);
    ASSERT_TRUE(format);
    if (format->id == "mov") {
      EXPECT_EQ(dialogs_->log.size(), 1);
      dialogs_->exportOptionsAnswers.clear();
    } else {
      EXPECT_EQ(dialogs_->log.value(1), "export options " + format->label + " options");
    }
    EXPECT_EQ(w_->LogEditField->Text(), "Movie saved at location: " + window);
    ASSERT_EQ(Velostrip(QStringList{project, "--export", cli} + c.cli), 0);
    EXPECT_EQ(ReadFile(window), ReadFile(cli));
  }

  // Cancelling the options writes nothing, and a failure keeps the old file.
  dialogs_->saveAnswers.push_back(GetFolderItem(Root() + "/out/cli-a.webp"));
  dialogs_->exportOptionsAnswers.clear();
  const QByteArray before = ReadFile(Root() + "/out/cli-a.webp");
  MenuBar1::Instance()->Choose("FileExportAs");
  dialogs_->saveAnswers.push_back(GetFolderItem(Root() + "/no/such/folder/a.mp4"));
  dialogs_->exportOptionsAnswers.push_back(std::nullopt);
  MenuBar1::Instance()->Choose("FileExportAs");
  EXPECT_TRUE(w_->LogEditField->Text().startsWith("Movie not written: ")) << w_->LogEditField->Text().toStdString();
  EXPECT_EQ(ReadFile(Root() + "/out/cli-a.webp"), before);
  EXPECT_EQ(QDir(Root() + "/out").entryList(QDir::Files | QDir::Hidden).size(), 12);

  // Nor is the project it renders replaced, whatever its name.
  const QString named = Root() + "/walk.gif";
  ASSERT_TRUE(QFile::copy(project, named));
  app_->LoadProject(GetFolderItem(named));
  dialogs_->saveAnswers.push_back(GetFolderItem(named));
  dialogs_->exportOptionsAnswers.push_back(std::nullopt);
  MenuBar1::Instance()->Choose("FileExportAs");
  EXPECT_EQ(w_->LogEditField->Text(), "Movie not written: it is the project being rendered - " + named);
  EXPECT_EQ(ReadFile(named), ReadFile(project));
}

}  // namespace
