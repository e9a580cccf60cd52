#include "app/command_line.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <array>
#include <optional>

#include "movie/movie.h"
#include "movie/output_formats.h"

namespace {

// Qt's own options, which the window's application object reads: a session
// manager restores the program with -session, a user may pick -platform or
// -display. They are kept apart, so that they are neither unknown options
// nor a project.
constexpr std::array kQtOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry",
    "qwindowicon", "icon", "qwindowtitle", "title", "session", "display", "name", "style", "stylesheet"};
constexpr std::array kQtFlags = {"reverse", "nograb", "dograb", "sync", "widgetcount", "testability"};

// The name of a Qt option as Qt reads it: one dash or two, and for a few of
// them "=VALUE" attached.
QString QtOptionName(const QString& argument) {
  if (!argument.startsWith('-') || argument == "-" || argument == "--") return {};
  QString name = argument.mid(argument.startsWith("--") ? 2 : 1);
  return name.section('=', 0, 0);
}

bool TakesValue(const QString& name) {
  for (const char* option : kQtOptionsWithValue)
    if (name == QLatin1String(option)) return true;
  return false;
}

bool IsFlag(const QString& name) {
  for (const char* option : kQtFlags)
    if (name == QLatin1String(option)) return true;
  return false;
}

// The names of the codecs on the command line, for the compression dialog's
// choices.
struct CodecName {
  const char* name;
  const char* type;
};
constexpr std::array kCodecNames = {CodecName{"none", "raw "}, CodecName{"animation", "rle "},
                                    CodecName{"png", "png "}, CodecName{"photo-jpeg", "jpeg"},
                                    CodecName{"h264", "avc1"}};

// This build's codecs, in the dialog's order.
QList<std::pair<QString, CodecChoice>> Codecs() {
  QList<std::pair<QString, CodecChoice>> codecs;
  for (const CodecChoice& choice : AvailableCodecs())
    for (const CodecName& c : kCodecNames)
      if (choice.type == QLatin1String(c.type)) codecs.append({QString::fromLatin1(c.name), choice});
  return codecs;
}

// The ids of the file formats that have an option.
QString FormatsWith(bool OutputFormat::*option) {
  QStringList ids;
  for (const OutputFormat& f : OutputFormats())
    if (!f.folder && f.*option) ids << f.id;
  return ids.join(", ");
}

// "webp (default: 75), mp4 (default: 58)...".
QString QualityDefaults() {
  QStringList list;
  for (const OutputFormat& f : OutputFormats())
    if (!f.folder && f.quality) list << QStringLiteral("%1 (default: %2)").arg(f.id).arg(f.defaultQuality);
  return list.join(", ");
}

QString Extensions() {
  QStringList list;
  for (const OutputFormat& f : OutputFormats())
    for (const QString& extension : f.extensions) list << "." + extension;
  return list.join(" ");
}

QString CodecList() {
  QStringList names;
  for (const auto& codec : Codecs()) names << codec.first;
  return names.join(", ");
}

CommandLine Usage(const QString& message) {
  CommandLine line;
  line.action = CommandLine::Action::UsageError;
  line.text = ForStandardError(message + "\nTry 'velostrip --help' for more information.");
  return line;
}

QString HelpText(const QCommandLineParser& parser) {
  QString text = parser.helpText();
  // The first line names the program as it was started (a path); the help
  // names it as it is typed.
  const int end = text.indexOf('\n');
  text.replace(0, end, "Usage: velostrip [options] [PROJECT]");
  text += QStringLiteral(
      "\nWith a project and neither --export nor --export-frames, the window opens\n"
      "and loads the project. If the window is already open, it loads it there.\n"
      "\nExit status: 0 done, 1 the project could not be read or the movie or\n"
      "frames could not be made, 2 a mistake on the command line, 129, 130 or\n"
      "143 stopped by a signal (SIGHUP, SIGINT, SIGTERM).\n");
  return text;
}

}  // namespace

QString ForStandardError(const QString& text) {
  QStringList lines = text.split('\n');
  if (lines.size() > 1 && lines.last().isEmpty()) lines.removeLast();
  QString out;
  for (const QString& line : lines) out += "velostrip: " + line + '\n';
  return out;
}

CommandLine ParseCommandLine(const QStringList& arguments, const QString& workingFolder) {
  CommandLine line;
  // Qt's options go to the window's application object; the rest is ours.
  QStringList own;
  for (int i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (i > 0 && argument == "--") {
      // The options end here, Qt's too: what follows is a project, whatever
      // it looks like.
      own << arguments.mid(i);
      break;
    }
    const QString name = i > 0 ? QtOptionName(argument) : QString();
    if (name.isEmpty() || !(TakesValue(name) || IsFlag(name))) {
      own << argument;
    } else if (IsFlag(name) || argument.contains('=')) {
      line.qtArguments << argument;
    } else if (i + 1 < arguments.size()) {
      line.qtArguments << argument << arguments[i + 1];
      ++i;
    } else {
      return Usage(QStringLiteral("Missing value after '%1'.").arg(argument));
    }
  }

  QCommandLineParser parser;
  parser.setApplicationDescription("Velostrip makes short animations of one object moving over a background.");
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help({"h", "help"}, "Shows this help and exits.");
  const QCommandLineOption version({"v", "version"}, "Shows the version and exits.");
  const QCommandLineOption exportMovie(
      "export",
      QStringLiteral("Renders PROJECT into FILE, with no window, in the format its extension names (%1; "
                     "with none, a QuickTime movie).")
          .arg(Extensions()),
      "FILE");
  const QCommandLineOption format("format", QStringLiteral("The format of --export's FILE: %1.").arg(OutputFormatIds(false)),
                                  "NAME");
  const QCommandLineOption exportFrames(
      "export-frames", "Renders PROJECT into frame files, one per frame, in FOLDER (made when missing), with no window.",
      "FOLDER");
  const QCommandLineOption frameFormat(
      "frame-format", QStringLiteral("The frame files' format: %1 (default: pict).").arg(OutputFormatIds(true)), "NAME",
      "pict");
  const QCommandLineOption codec(
      "codec", QStringLiteral("A QuickTime movie's compression: %1 (default: none).").arg(CodecList()), "NAME", "none");
  const QCommandLineOption depth("depth", "Colour depth for none and animation: 24 or 32 (default: 24).", "BITS", "24");
  const QCommandLineOption quality(
      "quality",
      QStringLiteral("Quality, 0 to 100, for photo-jpeg and h264 (default: 100) and for %1.")
          .arg(QualityDefaults()),
      "QUALITY");
  const QCommandLineOption loop(
      "loop", QStringLiteral("forever or once, for %1 (default: forever).").arg(FormatsWith(&OutputFormat::loop)),
      "HOW");
  const QCommandLineOption lossless(
      "lossless", QStringLiteral("Exact frames, for %1 (by default lossless only where the frames have few colours).")
                      .arg(FormatsWith(&OutputFormat::lossless)));
  for (const QCommandLineOption& option :
       {help, version, exportMovie, format, exportFrames, frameFormat, codec, depth, quality, loop, lossless})
    parser.addOption(option);
  parser.addPositionalArgument("PROJECT", "A project (movie data file) to load or to render.", "[PROJECT]");

  if (!parser.parse(own)) return Usage(parser.errorText());
  if (parser.isSet(help)) {
    line.action = CommandLine::Action::Help;
    line.text = HelpText(parser);
    return line;
  }
  if (parser.isSet(version)) {
    line.action = CommandLine::Action::Version;
    line.text = QStringLiteral("velostrip %1\n").arg(VELOSTRIP_VERSION);
    return line;
  }

  const QStringList projects = parser.positionalArguments();
  if (projects.size() > 1) return Usage(QStringLiteral("One project at a time: '%1' is a second one.").arg(projects[1]));
  const QDir here(workingFolder);
  if (!projects.isEmpty()) {
    if (projects[0].isEmpty()) return Usage("The project's name is empty.");
    line.project = QDir::cleanPath(here.absoluteFilePath(projects[0]));
  }

  const bool movie = parser.isSet(exportMovie), frames = parser.isSet(exportFrames);
  if (movie && frames) return Usage("--export and --export-frames cannot be given together.");
  if (!movie) {
    for (const QCommandLineOption* option : {&format, &codec, &depth, &quality, &loop, &lossless})
      if (parser.isSet(*option))
        return Usage(QStringLiteral("--%1 applies to --export only.").arg(option->names().constFirst()));
  }
  if (!frames && parser.isSet(frameFormat)) return Usage("--frame-format applies to --export-frames only.");
  if (!movie && !frames) return line;

  if (line.project.isEmpty()) return Usage("Which project? Name it before --export or --export-frames.");
  const QString output = parser.value(movie ? exportMovie : exportFrames);
  if (output.isEmpty()) return Usage(QStringLiteral("--%1 needs a name.").arg(movie ? "export" : "export-frames"));
  line.output = QDir::cleanPath(here.absoluteFilePath(output));
  line.action = movie ? CommandLine::Action::Export : CommandLine::Action::ExportFrames;

  if (frames) {
    const QString name = parser.value(frameFormat);
    const OutputFormat* chosen = FindOutputFormat(name);
    if (!chosen || !chosen->folder)
      return Usage(QStringLiteral("Unknown frame format '%1': this build has %2.").arg(name, OutputFormatIds(true)));
    line.format = chosen->id;
    return line;
  }

  // The format: named, or the one of the file's extension; a name without
  // one is a QuickTime movie, as it always was.
  const OutputFormat* chosen = nullptr;
  if (parser.isSet(format)) {
    chosen = FindOutputFormat(parser.value(format));
    if (!chosen || chosen->folder)
      return Usage(
          QStringLiteral("Unknown format '%1': this build has %2.").arg(parser.value(format), OutputFormatIds(false)));
  } else if (QFileInfo(output).suffix().isEmpty()) {
    chosen = FindOutputFormat("mov");
  } else if (!(chosen = OutputFormatOfFile(output))) {
    return Usage(QStringLiteral("Which format is '%1'? Its extension is none of %2; name the format with --format.")
                     .arg(QFileInfo(output).fileName(), Extensions()));
  }
  line.format = chosen->id;
  const bool quickTime = !chosen->make;
  if (!quickTime) {
    for (const QCommandLineOption* option : {&codec, &depth})
      if (parser.isSet(*option))
        return Usage(QStringLiteral("--%1 applies to QuickTime movies (mov) only, not to %2.")
                         .arg(option->names().constFirst(), chosen->id));
  }
  auto refuse = [&](const QCommandLineOption& option, bool OutputFormat::*has) -> std::optional<CommandLine> {
    if (!parser.isSet(option) || chosen->*has) return std::nullopt;
    return Usage(QStringLiteral("--%1 applies to %2, not to %3.")
                     .arg(option.names().constFirst(), FormatsWith(has), chosen->id));
  };
  if (auto refused = refuse(loop, &OutputFormat::loop)) return *refused;
  if (auto refused = refuse(lossless, &OutputFormat::lossless)) return *refused;
  if (parser.isSet(loop)) {
    const QString how = parser.value(loop);
    if (how != "forever" && how != "once") return Usage(QStringLiteral("--loop is forever or once, not '%1'.").arg(how));
    line.options.loopForever = how == "forever";
  }
  line.options.lossless = parser.isSet(lossless);

  // The quality asked for, once it is known to apply: -1 for none.
  int q = -1;
  auto readQuality = [&]() -> std::optional<CommandLine> {
    if (!parser.isSet(quality)) return std::nullopt;
    bool number = false;
    q = parser.value(quality).toInt(&number);
    if (number && q >= 0 && q <= 100) return std::nullopt;
    return Usage(QStringLiteral("--quality is a whole number from 0 to 100, not '%1'.").arg(parser.value(quality)));
  };
  if (!quickTime) {
    if (auto refused = refuse(quality, &OutputFormat::quality)) return *refused;
    if (auto wrong = readQuality()) return *wrong;
    line.options.quality = q;
    return line;
  }

  const QString codecName = parser.value(codec);
  const CodecChoice* chosenCodec = nullptr;
  const auto codecs = Codecs();
  for (const auto& c : codecs)
    if (c.first == codecName) chosenCodec = &c.second;
  if (!chosenCodec) return Usage(QStringLiteral("Unknown codec '%1': this build has %2.").arg(codecName, CodecList()));
  line.compression.type = chosenCodec->type;

  if (parser.isSet(depth)) {
    if (!chosenCodec->hasDepth)
      return Usage(QStringLiteral("--depth applies to none and animation, not to %1.").arg(codecName));
    const QString bits = parser.value(depth);
    if (bits != "24" && bits != "32") return Usage(QStringLiteral("--depth is 24 or 32, not '%1'.").arg(bits));
    line.compression.depth = bits.toInt();
  }
  if (parser.isSet(quality)) {
    if (chosenCodec->lossless)
      return Usage(QStringLiteral("--quality applies to photo-jpeg and h264, not to %1.").arg(codecName));
    if (auto wrong = readQuality()) return *wrong;
    line.compression.quality = q;
  }
  return line;
}
