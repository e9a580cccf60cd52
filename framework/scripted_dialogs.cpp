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

FolderItemPtr ScriptedDialogs::GetOpenFolderItem(const QString& fileType) {
  log << QStringLiteral("open ") + fileType;
  return Next(openAnswers);
}

FolderItemPtr ScriptedDialogs::GetSaveFolderItem(const QString& fileType, const QString& defaultName) {
  log << QStringLiteral("save ") + fileType + QLatin1Char(' ') + defaultName;
  return Next(saveAnswers);
}

FolderItemPtr ScriptedDialogs::SelectFolder(const QString& actionButtonCaption, const QString& title,
                                            const QString& promptText) {
  log << QStringLiteral("folder ") + actionButtonCaption + QLatin1Char('|') + title + QLatin1Char('|') +
             promptText;
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
