#include "app/file_types.h"

namespace FileTypes {

FileTypePtr pText;
FileTypePtr pSpecialAny;
FileTypePtr pVideoQuicktime;

namespace {
FileTypePtr Make(const QString& name, const QString& extensions, const QString& macType, const QString& creator) {
  auto t = std::make_shared<FileType>();
  t->Name = name;
  t->Extensions = extensions;
  t->MacType = macType;
  t->MacCreator = creator;
  RegisterFileType(t);
  return t;
}
}  // namespace

void _Initialize() {
  pText = Make("text", "", "TEXT", "R*ch");
  pSpecialAny = Make("special/any", "", "????", "????");
  pVideoQuicktime = Make("video/quicktime", ".moov;.mov;.qt;.mqv", "MooV", "TVOD");
}

}  // namespace FileTypes
