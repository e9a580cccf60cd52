// Files and folders: names against the application folder, listing, deleting,
// moving (the Trash included), pictures in and out, text files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <sys/stat.h>

#include <cstring>

#include "framework/folderitem.h"
#include "framework/frame_folder.h"
#include "framework/pict.h"
#include "tests/support/test_env.h"

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QImage TestImage(int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, (x * y) % 256));
  return img;
}

quint32 Crc32(const QByteArray& data) {
  quint32 crc = 0xFFFFFFFFu;
  for (char ch : data) {
    crc ^= quint8(ch);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

QByteArray PngChunk(const char* type, const QByteArray& data) {
  QByteArray out;
  const quint32 len = quint32(data.size());
  for (int s : {24, 16, 8, 0}) out.append(char((len >> s) & 0xFF));
  const QByteArray body = QByteArray(type) + data;
  out += body;
  const quint32 crc = Crc32(body);
  for (int s : {24, 16, 8, 0}) out.append(char((crc >> s) & 0xFF));
  return out;
}

// A well-formed PNG header that declares a picture far too large to decode.
QByteArray HugePngHeader() {
  QByteArray ihdr;
  for (quint32 v : {60000u, 60000u})
    for (int s : {24, 16, 8, 0}) ihdr.append(char((v >> s) & 0xFF));
  ihdr += QByteArray::fromHex("0802000000");  // 8-bit RGB
  return QByteArray::fromHex("89504e470d0a1a0a") + PngChunk("IHDR", ihdr) +
         PngChunk("IDAT", QByteArray::fromHex("789c030000000001")) + PngChunk("IEND", {});
}

// Marks a folder immutable for its lifetime, so that nothing in it can be
// removed, not even by root. `ok` is false where the file system or the
// process's rights do not allow it.
struct ImmutableFolder {
  explicit ImmutableFolder(const QString& path) : fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY)) {
    ok = fd >= 0 && Set(true);
  }
  ~ImmutableFolder() {
    if (ok) Set(false);
    if (fd >= 0) ::close(fd);
  }
  ImmutableFolder(const ImmutableFolder&) = delete;
  ImmutableFolder& operator=(const ImmutableFolder&) = delete;
  bool Set(bool on) {
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return false;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    return ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  int fd;
  bool ok = false;
};

// A folder on another file system than the test's Trash, or an invalid one.
bool OnAnotherDevice(const QTemporaryDir& other, const QString& root) {
  struct stat a {}, b {};
  return other.isValid() && ::stat(QFile::encodeName(other.path()).constData(), &a) == 0 &&
         ::stat(QFile::encodeName(root).constData(), &b) == 0 && a.st_dev != b.st_dev;
}

class FolderItemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    ASSERT_TRUE(env.dir.isValid());
  }
  QString App(const QString& name) const { return env.appFolder() + "/" + name; }
  TempAppEnv env;
};

}  // namespace

TEST_F(FolderItemTest, NamesResolveAgainstTheApplicationFolder) {
  EXPECT_EQ(ApplicationFolder(), QDir::cleanPath(env.appFolder()));
  const FolderItemPtr f = GetFolderItem("ftemp");
  EXPECT_EQ(f->AbsolutePath(), App("ftemp"));
  EXPECT_EQ(f->Name(), "ftemp");
  EXPECT_EQ(f->Parent()->AbsolutePath(), env.appFolder());
  EXPECT_FALSE(f->Exists());
  EXPECT_EQ(GetFolderItem("sub/../x.txt")->AbsolutePath(), App("x.txt"));
  EXPECT_EQ(GetFolderItem(env.root() + "/elsewhere")->AbsolutePath(), env.root() + "/elsewhere");
  EXPECT_EQ(GetFolderItem("/")->Parent(), nullptr);
}

TEST_F(FolderItemTest, ListsEntriesInNameOrder) {
  ASSERT_TRUE(WriteFile(App("b.txt"), "b"));
  ASSERT_TRUE(WriteFile(App("a.txt"), "a"));
  ASSERT_TRUE(WriteFile(App(".hidden"), "h"));
  ASSERT_TRUE(QDir(env.appFolder()).mkdir("c"));
  const FolderItemPtr app = GetFolderItem(env.appFolder());
  EXPECT_TRUE(app->Directory());
  ASSERT_EQ(app->Count(), 4);
  EXPECT_EQ(app->Item(1)->Name(), ".hidden");
  EXPECT_EQ(app->Item(2)->Name(), "a.txt");
  EXPECT_EQ(app->Item(3)->Name(), "b.txt");
  EXPECT_TRUE(app->Item(4)->Directory());
  EXPECT_EQ(app->Item(0), nullptr);
  EXPECT_EQ(app->Item(5), nullptr);
  EXPECT_TRUE(app->Child("c")->Exists());
  EXPECT_FALSE(app->Child("nope")->Exists());
  EXPECT_EQ(app->Child("a.txt")->Count(), 0);  // a file has no entries
  EXPECT_FALSE(app->Child("a.txt")->Directory());
  // Entries gives the same items in the same order.
  QStringList names;
  for (const FolderItemPtr& entry : app->Entries()) names << entry->AbsolutePath();
  EXPECT_EQ(names, QStringList({App(".hidden"), App("a.txt"), App("b.txt"), App("c")}));
  EXPECT_TRUE(app->Child("a.txt")->Entries().empty());
}

TEST_F(FolderItemTest, DeleteRemovesFilesAndEmptyFoldersOnly) {
  ASSERT_TRUE(WriteFile(App("f.txt"), "x"));
  FolderItemPtr file = GetFolderItem("f.txt");
  EXPECT_TRUE(file->Delete());
  EXPECT_FALSE(file->Exists());
  EXPECT_FALSE(file->Delete());  // already gone
  EXPECT_FALSE(file->LastError().isEmpty());

  FolderItemPtr full = GetFolderItem("full");
  ASSERT_TRUE(full->CreateAsFolder());
  ASSERT_TRUE(WriteFile(App("full/inside.txt"), "x"));
  EXPECT_FALSE(full->Delete());
  EXPECT_FALSE(full->LastError().isEmpty());
  EXPECT_TRUE(QFileInfo::exists(App("full/inside.txt")));

  FolderItemPtr empty = GetFolderItem("empty");
  ASSERT_TRUE(empty->CreateAsFolder());
  EXPECT_TRUE(empty->CreateAsFolder());  // already there
  EXPECT_TRUE(empty->Delete());
  EXPECT_FALSE(empty->Exists());

  ASSERT_TRUE(WriteFile(App("plain"), "x"));
  EXPECT_FALSE(GetFolderItem("plain/sub")->CreateAsFolder());
}

TEST_F(FolderItemTest, MoveFileToAFolder) {
  ASSERT_TRUE(WriteFile(App("m.txt"), "moved"));
  ASSERT_TRUE(GetFolderItem("dest")->CreateAsFolder());
  FolderItemPtr m = GetFolderItem("m.txt");
  EXPECT_TRUE(m->MoveFileTo(GetFolderItem("dest")));
  EXPECT_FALSE(QFileInfo::exists(App("m.txt")));
  EXPECT_EQ(ReadFile(App("dest/m.txt")), "moved");
  // The item still names the old place.
  EXPECT_EQ(m->AbsolutePath(), App("m.txt"));

  // An existing file of the same name is not replaced.
  ASSERT_TRUE(WriteFile(App("m.txt"), "second"));
  EXPECT_FALSE(GetFolderItem("m.txt")->MoveFileTo(GetFolderItem("dest")));
  EXPECT_EQ(ReadFile(App("dest/m.txt")), "moved");
  EXPECT_EQ(ReadFile(App("m.txt")), "second");
}

TEST_F(FolderItemTest, MoveToTrashFollowsTheFreedesktopLayout) {
  const FolderItemPtr trash = TrashFolder();
  EXPECT_EQ(trash->AbsolutePath(), env.trashFiles());
  // The Trash is made when it is missing.
  ASSERT_TRUE(QDir(env.dataHome() + "/Trash").removeRecursively());

  const QRegularExpression date(R"(^DeletionDate=\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$)");
  for (const QString& expected : {QString("ftemp"), QString("ftemp.2"), QString("ftemp.3")}) {
    SCOPED_TRACE(expected.toStdString());
    FolderItemPtr ftemp = GetFolderItem("ftemp");
    ASSERT_TRUE(ftemp->CreateAsFolder());
    ASSERT_TRUE(WriteFile(App("ftemp/frame1"), expected.toUtf8()));
    ASSERT_TRUE(ftemp->MoveFileTo(TrashFolder())) << ftemp->LastError().toStdString();
    EXPECT_FALSE(ftemp->Exists());
    EXPECT_EQ(ReadFile(env.trashFiles() + "/" + expected + "/frame1"), expected.toUtf8());

    const QStringList info =
        QString::fromUtf8(ReadFile(env.trashInfo() + "/" + expected + ".trashinfo")).split('\n');
    ASSERT_GE(info.size(), 3);
    EXPECT_EQ(info[0], "[Trash Info]");
    EXPECT_EQ(info[1], "Path=" + App("ftemp"));
    EXPECT_TRUE(date.match(info[2]).hasMatch()) << info[2].toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists(env.trashFiles() + "/ftemp.4"));
}

TEST_F(FolderItemTest, TrashInfoPathIsUrlEncoded) {
  const QString name = "frames 50% äö";
  ASSERT_TRUE(WriteFile(App(name), "x"));
  ASSERT_TRUE(GetFolderItem(name)->MoveFileTo(TrashFolder()));
  const QByteArray info = ReadFile(env.trashInfo() + "/" + name + ".trashinfo");
  const QByteArray encoded = QUrl::toPercentEncoding(App(name), "/");
  EXPECT_TRUE(info.contains("\nPath=" + encoded + "\n")) << info.toStdString();
  EXPECT_TRUE(encoded.contains("frames%2050%25%20%C3%A4%C3%B6"));
}

TEST_F(FolderItemTest, MoveToTrashAcrossDevicesCopiesAndDeletes) {
  QTemporaryDir other("/dev/shm/velostrip-test-XXXXXX");
  if (!OnAnotherDevice(other, env.root())) GTEST_SKIP() << "no second file system to move across";
  ASSERT_TRUE(QDir(other.path()).mkpath("ftemp/deeper"));
  ASSERT_TRUE(WriteFile(other.path() + "/ftemp/deeper/f", "data"));
  FolderItemPtr item = GetFolderItem(other.path() + "/ftemp");
  ASSERT_TRUE(item->MoveFileTo(TrashFolder())) << item->LastError().toStdString();
  EXPECT_FALSE(item->Exists());
  EXPECT_EQ(ReadFile(env.trashFiles() + "/ftemp/deeper/f"), "data");
  EXPECT_TRUE(QFileInfo::exists(env.trashInfo() + "/ftemp.trashinfo"));
}

// A move across devices whose original cannot be removed takes its copy out
// of the Trash again, so retrying does not pile up copies; of a folder that
// lost some files before the removal stopped, the Trash keeps just those.
TEST_F(FolderItemTest, MoveToTrashThatCannotRemoveTheOriginalTakesItsCopyBack) {
  QTemporaryDir other("/dev/shm/velostrip-test-XXXXXX");
  if (!OnAnotherDevice(other, env.root())) GTEST_SKIP() << "no second file system to move across";
  ASSERT_TRUE(QDir(other.path()).mkpath("locked"));
  ASSERT_TRUE(WriteFile(other.path() + "/locked/movie.mov", QByteArray(100000, 'm')));
  ASSERT_TRUE(QDir(other.path()).mkpath("ftemp/kept"));
  ASSERT_TRUE(WriteFile(other.path() + "/ftemp/gone.mov", "gone"));
  ASSERT_TRUE(WriteFile(other.path() + "/ftemp/kept/stays.mov", "stays"));
  {
    ImmutableFolder locked(other.path() + "/locked"), kept(other.path() + "/ftemp/kept");
    if (!locked.ok || !kept.ok) GTEST_SKIP() << "cannot make a folder immutable here";
    FolderItemPtr movie = GetFolderItem(other.path() + "/locked/movie.mov");
    for (int attempt = 0; attempt < 2; ++attempt) {
      EXPECT_FALSE(movie->MoveFileTo(TrashFolder()));
      EXPECT_FALSE(movie->LastError().isEmpty());
      EXPECT_TRUE(QDir(env.trashFiles()).isEmpty());
      EXPECT_TRUE(QDir(env.trashInfo()).isEmpty());
    }
    EXPECT_EQ(ReadFile(other.path() + "/locked/movie.mov").size(), 100000);

    FolderItemPtr ftemp = GetFolderItem(other.path() + "/ftemp");
    EXPECT_FALSE(ftemp->MoveFileTo(TrashFolder()));
    EXPECT_EQ(ReadFile(env.trashFiles() + "/ftemp/gone.mov"), "gone");
    EXPECT_FALSE(QFileInfo::exists(env.trashFiles() + "/ftemp/kept"));
    EXPECT_TRUE(QFileInfo::exists(env.trashInfo() + "/ftemp.trashinfo"));
    EXPECT_EQ(ReadFile(other.path() + "/ftemp/kept/stays.mov"), "stays");
    EXPECT_FALSE(QFileInfo::exists(other.path() + "/ftemp/gone.mov"));
  }
}

TEST_F(FolderItemTest, OpenAsPictureReadsWhatQtWrites) {
  const QImage img = TestImage(37, 21);
  for (const char* fmt : {"PNG", "BMP", "JPEG"}) {
    SCOPED_TRACE(fmt);
    const QString path = App(QString("pic.") + QString(fmt).toLower());
    ASSERT_TRUE(img.save(path, fmt, 100));
    const PicturePtr pic = GetFolderItem(path)->OpenAsPicture();
    ASSERT_NE(pic, nullptr);
    EXPECT_EQ(pic->image().format(), QImage::Format_RGB32);
    ASSERT_EQ(pic->image().size(), img.size());
    if (QByteArray(fmt) != "JPEG") {
      EXPECT_EQ(pic->image(), img);
    } else {
      const QRgb p = pic->image().pixel(10, 10), q = img.pixel(10, 10);
      EXPECT_NEAR(qRed(p), qRed(q), 12);
      EXPECT_NEAR(qGreen(p), qGreen(q), 12);
      EXPECT_NEAR(qBlue(p), qBlue(q), 12);
    }
  }
  // The name does not matter, the content does.
  ASSERT_TRUE(img.save(App("noext"), "PNG"));
  ASSERT_NE(GetFolderItem("noext")->OpenAsPicture(), nullptr);
}

TEST_F(FolderItemTest, OpenAsPictureLaysTransparencyOverWhite) {
  QImage img(4, 1, QImage::Format_ARGB32);
  img.setPixel(0, 0, qRgba(0, 0, 0, 0));
  img.setPixel(1, 0, qRgba(0, 0, 0, 255));
  img.setPixel(2, 0, qRgba(255, 0, 0, 128));
  img.setPixel(3, 0, qRgba(10, 20, 30, 255));
  ASSERT_TRUE(img.save(App("alpha.png")));
  const PicturePtr pic = GetFolderItem("alpha.png")->OpenAsPicture();
  ASSERT_NE(pic, nullptr);
  EXPECT_EQ(pic->image().pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(pic->image().pixel(1, 0), qRgb(0, 0, 0));
  const QRgb half = pic->image().pixel(2, 0);
  EXPECT_EQ(qRed(half), 255);
  EXPECT_NEAR(qGreen(half), 127, 1);
  EXPECT_EQ(pic->image().pixel(3, 0), qRgb(10, 20, 30));
}

TEST_F(FolderItemTest, SaveAsPictureWritesPictThatReadsBack) {
  const Picture pic(TestImage(65, 9));
  FolderItemPtr f = GetFolderItem("frame1");
  ASSERT_TRUE(WriteFile(App("frame1"), QByteArray(100000, 'z')));  // replaced
  ASSERT_TRUE(f->SaveAsPicture(pic, 0)) << f->LastError().toStdString();
  const QByteArray bytes = ReadFile(App("frame1"));
  EXPECT_EQ(bytes, EncodePict(pic.image()));
  const PicturePtr back = f->OpenAsPicture();
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->image(), pic.image());
  // Also as a bare picture without the 512-byte file header.
  ASSERT_TRUE(WriteFile(App("bare.pict"), bytes.mid(512)));
  const PicturePtr bare = GetFolderItem("bare.pict")->OpenAsPicture();
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(bare->image(), pic.image());
  // Nothing else was left in the folder.
  EXPECT_EQ(QDir(env.appFolder()).entryList(QDir::Files).size(), 2);
}

TEST_F(FolderItemTest, SaveAsPictureFailsCleanly) {
  const Picture pic(TestImage(8, 8));
  ASSERT_TRUE(WriteFile(App("regular"), "file"));
  FolderItemPtr under = GetFolderItem("regular/frame.pict");
  EXPECT_FALSE(under->SaveAsPicture(pic, 0));
  EXPECT_FALSE(under->LastError().isEmpty());
  EXPECT_EQ(ReadFile(App("regular")), "file");

  ASSERT_TRUE(GetFolderItem("afolder")->CreateAsFolder());
  EXPECT_FALSE(GetFolderItem("afolder")->SaveAsPicture(pic, 0));
  EXPECT_TRUE(GetFolderItem("afolder")->Directory());

  EXPECT_FALSE(GetFolderItem("x.pict")->SaveAsPicture(pic, 7));
  EXPECT_FALSE(QFileInfo::exists(App("x.pict")));

  if (::geteuid() != 0) {
    ASSERT_TRUE(GetFolderItem("locked")->CreateAsFolder());
    ASSERT_TRUE(QFile::setPermissions(App("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    EXPECT_FALSE(GetFolderItem("locked/f.pict")->SaveAsPicture(pic, 0));
    QFile::setPermissions(App("locked"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_TRUE(QDir(App("locked")).isEmpty());
  }
  EXPECT_EQ(QDir(env.appFolder()).entryList(QDir::Files), QStringList{"regular"});
}

// A file that cannot be written in full (a full disk, or here the process's
// file size limit) is reported with the system's reason and leaves nothing.
TEST_F(FolderItemTest, SaveAsPictureGivesTheSystemsReason) {
  const Picture pic(TestImage(200, 100));
  ASSERT_GT(EncodePict(pic.image()).size(), 4096);
  FolderItemPtr f = GetFolderItem("big.pict");
  bool saved = true;
  WithFileSizeLimit(4096, [&] { saved = f->SaveAsPicture(pic, 0); });
  EXPECT_FALSE(saved);
  EXPECT_EQ(f->LastError(), QString::fromLocal8Bit(std::strerror(EFBIG)));
  EXPECT_TRUE(QDir(env.appFolder()).isEmpty());
}

TEST_F(FolderItemTest, OpenAsPictureRefusesWhatIsNotAPicture) {
  QImage img = TestImage(50, 40);
  QByteArray png;
  {
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    ASSERT_TRUE(img.save(&buf, "PNG"));
  }
  QByteArray random(4096, '\0');
  QRandomGenerator rng(5);
  for (char& c : random) c = char(rng.bounded(256));
  const QByteArray pict = EncodePict(img);
  QByteArray hugePict = pict;
  for (int at : {514 + 4, 514 + 6}) {  // frame bottom, right
    hugePict[at] = char(0x75);
    hugePict[at + 1] = char(0x30);  // 30000
  }

  const std::pair<const char*, QByteArray> cases[] = {
      {"empty", QByteArray()},
      {"truncated png", png.left(png.size() / 2)},
      {"png signature only", png.left(8)},
      {"random bytes", random},
      {"huge png", HugePngHeader()},
      {"truncated pict", pict.left(pict.size() / 2)},
      {"pict with huge frame", hugePict},
      {"text", "this is not a picture\n"},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(WriteFile(App("bad"), bytes));
    EXPECT_EQ(GetFolderItem("bad")->OpenAsPicture(), nullptr);
  }
  ASSERT_TRUE(GetFolderItem("folder")->CreateAsFolder());
  EXPECT_EQ(GetFolderItem("folder")->OpenAsPicture(), nullptr);
  EXPECT_EQ(GetFolderItem("missing")->OpenAsPicture(), nullptr);
}

// Qt's JPEG, GIF, BMP and XBM readers return what they decoded from a file
// cut short, the rest filled grey or black; such a file is no picture. A
// whole file, even with bytes after its end marker, still is one.
TEST_F(FolderItemTest, OpenAsPictureRefusesFilesCutShort) {
  const QImage img = TestImage(120, 90);
  auto encode = [&](const char* fmt) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    EXPECT_TRUE(img.save(&buf, fmt, 90)) << fmt;
    return bytes;
  };
  // A 16 x 12 GIF (Qt writes none) made by ImageMagick: two bands and a square.
  const QByteArray gif = QByteArray::fromHex(
      "47494638396110000c00f10000ff000000ff000000ff00000021f90400000000002c0000000010000c0000021b"
      "848fa9bbe11f18804f5267af12fc060e865e488e24689eeaca9e05003b");
  for (const char* fmt : {"JPEG", "BMP", "XBM", "GIF"}) {
    SCOPED_TRACE(fmt);
    const QByteArray whole = QByteArray(fmt) == "GIF" ? gif : encode(fmt);
    ASSERT_TRUE(WriteFile(App("whole"), whole));
    ASSERT_NE(GetFolderItem("whole")->OpenAsPicture(), nullptr);
    for (const qsizetype cut : {whole.size() * 2 / 3, whole.size() - 3}) {
      ASSERT_TRUE(WriteFile(App("cut"), whole.left(cut)));
      EXPECT_EQ(GetFolderItem("cut")->OpenAsPicture(), nullptr) << "cut to " << cut << " of " << whole.size();
    }
  }
  ASSERT_TRUE(WriteFile(App("trailing.jpg"), encode("JPEG") + QByteArray(70000, 'x')));
  const PicturePtr trailing = GetFolderItem("trailing.jpg")->OpenAsPicture();
  ASSERT_NE(trailing, nullptr);
  EXPECT_EQ(trailing->image().size(), img.size());

  // A file far larger than any PICT the decoder can read is refused without
  // being read into memory (a sparse file: no disk space is used).
  QByteArray head = EncodePict(TestImage(4, 4));
  QFile big(App("big.pict"));
  ASSERT_TRUE(big.open(QIODevice::WriteOnly));
  big.write(head);
  ASSERT_TRUE(big.resize(qint64(3) << 30));
  big.close();
  EXPECT_EQ(GetFolderItem("big.pict")->OpenAsPicture(), nullptr);
}

TEST_F(FolderItemTest, TextFilesRoundTrip) {
  FolderItemPtr f = GetFolderItem("project.txt");
  auto out = f->CreateTextFile();
  ASSERT_NE(out, nullptr);
  const QStringList lines = {"first", "", "ünïcödé — 日本", "  spaced  ", "last"};
  for (const QString& line : lines) out->WriteLine(line);
  EXPECT_TRUE(out->Close());
  EXPECT_EQ(ReadFile(App("project.txt")), (lines.join('\n') + '\n').toUtf8());

  auto in = f->OpenAsTextFile();
  ASSERT_NE(in, nullptr);
  QStringList read;
  while (!in->EOF_()) read << in->ReadLine();
  in->Close();
  EXPECT_EQ(read, lines);

  // Windows line ends and a last line without one.
  ASSERT_TRUE(WriteFile(App("crlf.txt"), "a\r\nb\r\n\r\nc"));
  auto crlf = GetFolderItem("crlf.txt")->OpenAsTextFile();
  ASSERT_NE(crlf, nullptr);
  EXPECT_EQ(crlf->ReadLine(), "a");
  EXPECT_EQ(crlf->ReadLine(), "b");
  EXPECT_EQ(crlf->ReadLine(), "");
  EXPECT_FALSE(crlf->EOF_());
  EXPECT_EQ(crlf->ReadLine(), "c");
  EXPECT_TRUE(crlf->EOF_());
  EXPECT_EQ(crlf->ReadLine(), "");

  // A second CreateTextFile replaces the content.
  auto again = f->CreateTextFile();
  ASSERT_NE(again, nullptr);
  again->WriteLine("only");
  EXPECT_TRUE(again->Close());
  EXPECT_EQ(ReadFile(App("project.txt")), "only\n");

  ASSERT_TRUE(WriteFile(App("plain"), "x"));
  EXPECT_EQ(GetFolderItem("plain/sub.txt")->CreateTextFile(), nullptr);
  EXPECT_EQ(GetFolderItem("missing.txt")->OpenAsTextFile(), nullptr);
}

TEST(TextOutput, CloseReportsWriteFailures) {
  // /dev/full accepts the open and fails every write.
  if (!QFileInfo::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  auto out = FolderItem("/dev/full").CreateTextFile();
  ASSERT_NE(out, nullptr);
  for (int i = 0; i < 100; ++i) out->WriteLine(QString(1000, 'x'));
  EXPECT_FALSE(out->Close());
}

// A frame export's folder: the frames take their names all at once, and
// until then (or when the export is abandoned) the folder is as it was.
TEST_F(FolderItemTest, AFrameFolderChangesNothingUntilItIsCommitted) {
  const QString dir = App("frames");
  auto listing = [&] { return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot); };
  {
    // Made when missing, and gone again when abandoned.
    FrameFolder frames(dir);
    EXPECT_EQ(frames.Open(FrameFolder::Missing::Make), "");
    ASSERT_TRUE(WriteFile(frames.Stage("f1"), "new 1"));
  }
  EXPECT_FALSE(QFileInfo::exists(dir));

  ASSERT_TRUE(QDir().mkpath(dir));
  ASSERT_TRUE(WriteFile(dir + "/f2", "mine 2"));
  ASSERT_TRUE(WriteFile(dir + "/notes", "mine"));
  {
    FrameFolder frames(dir);
    EXPECT_EQ(frames.Open(FrameFolder::Missing::Fail), "");
    for (const char* name : {"f1", "f2", "f3"}) ASSERT_TRUE(WriteFile(frames.Stage(name), QByteArray("new ") + name));
    EXPECT_EQ(ReadFile(dir + "/f2"), "mine 2");
    // What appears in the way by the end refuses the whole commit.
    ASSERT_TRUE(QDir(dir).mkdir("f3"));
    EXPECT_EQ(frames.Commit(), "Frames not written: a folder of that name is in the way - " + dir + "/f3");
    EXPECT_EQ(listing().filter(QRegularExpression("^\\.velostrip-frames-")).size(), 1);
  }
  EXPECT_EQ(listing(), (QStringList{"f2", "f3", "notes"}));
  EXPECT_EQ(ReadFile(dir + "/f2"), "mine 2");

  // Something that is not a file is refused at its frame.
  ASSERT_EQ(::mkfifo(QFile::encodeName(dir + "/f4").constData(), 0600), 0);
  QDir(dir).rmdir("f3");
  FrameFolder frames(dir);
  EXPECT_EQ(frames.Stage("f4"), "");
  EXPECT_TRUE(frames.LastError().contains("not a file")) << frames.LastError().toStdString();
  for (const char* name : {"f1", "f2", "f3"}) ASSERT_TRUE(WriteFile(frames.Stage(name), QByteArray("new ") + name));
  EXPECT_EQ(frames.Commit(), "");
  EXPECT_EQ(listing(), (QStringList{"f1", "f2", "f3", "f4", "notes"}));
  for (const char* name : {"f1", "f2", "f3"}) EXPECT_EQ(ReadFile(dir + "/" + name), QByteArray("new ") + name);
  EXPECT_EQ(ReadFile(dir + "/notes"), "mine");
}
