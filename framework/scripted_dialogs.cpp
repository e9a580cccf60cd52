#include "framework/scripted_dialogs.h"

namespace {

// Takes the next answer; an empty script answers as a cancel would.
template <typename T>
T Next(std::deque<T>& answers) {
  T answer{};
  if (!answers.empty()) {
    answer.swap(answers.front());
    answers.pop_front();
  }
  return answer;
}

}  // namespace

FolderItemPtr ScriptedDialogs::ChooseFileToOpen(const QString& fileType, const QString& startFolder) {
  log << QStringLiteral("open ") + fileType;
  startFolders << startFolder;
  return Next(openAnswers);
}

FolderItemPtr ScriptedDialogs::ChooseFileToSave(const QString& fileType, const QString& defaultName,
                                                const QString& startFolder) {
  log << QStringLiteral("save ") + fileType + QLatin1Char(' ') + defaultName;
  startFolders << startFolder;
  return Next(saveAnswers);
}

FolderItemPtr ScriptedDialogs::ChooseFolder(const QString& actionButtonCaption, const QString& title,
                                            const QString& promptText, const QString& startFolder) {
  log << QStringLiteral("folder ") + actionButtonCaption + QLatin1Char('|') + title + QLatin1Char('|') +
             promptText;
  startFolders << startFolder;
  return Next(folderAnswers);
}

bool ScriptedDialogs::SelectColor(Color& color, const QString& prompt) {
  log << QStringLiteral("color ") + prompt;
  const std::optional<Color> answer = Next(colorAnswers);
  if (!answer) return false;
  color = *answer & 0xFFFFFFu;
  return true;
}

void ScriptedDialogs::MsgBox(const QString& text) {
  log << QStringLiteral("msgbox ") + text;
  messages << text;
}

bool ScriptedDialogs::SelectCompressionSettings(CompressionSettings& settings) {
  log << QStringLiteral("compression");
  const std::optional<CompressionSettings> answer = Next(compressionAnswers);
  if (!answer) return false;
  settings = *answer;
  return true;
}

FolderItemPtr ScriptedDialogs::ChooseFileToSaveOfType(const std::vector<FileTypeChoice>& types,
                                                      const QString& defaultName, const QString& startFolder,
                                                      int* type) {
  QStringList labels;
  for (const FileTypeChoice& t : types) labels << t.label;
  log << QStringLiteral("save as ") + labels.join(QLatin1Char('|')) + QLatin1Char(' ') + defaultName;
  startFolders << startFolder;
  FolderItemPtr answer = Next(saveAnswers);
  if (answer && type) *type = FileTypeOfName(types, answer->Name());
  return answer;
}

bool ScriptedDialogs::SelectExportOptions(const QString& title, ExportOptions& options) {
  log << QStringLiteral("export options ") + title;
  if (exportOptionsAnswers.empty()) return false;
  const std::optional<ExportOptions> answer = Next(exportOptionsAnswers);
  if (answer) {
    options.loopForever = answer->loopForever;
    options.quality = answer->quality;
    options.lossless = answer->lossless;
  }
  return true;
}
