#include "app/commandline.h"

#include "app/historycommand.h"
#include "history/historylocation.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

namespace kelvalog {

namespace {

// The options the toolkit takes from the command line itself.
void AcceptToolkitOptions(QCommandLineParser& Parser)
{
    const char* const WithValue[] = {"platform",      "platformpluginpath",
                                     "platformtheme", "plugin",
                                     "qmljsdebugger", "qwindowgeometry",
                                     "qwindowicon",   "qwindowtitle",
                                     "session",       "display",
                                     "geometry",      "name",
                                     "title",         "style",
                                     "stylesheet"};
    const char* const Flags[] = {"reverse", "widgetcount", "sync", "nograb", "dograb"};
    for (const char* Name : WithValue) {
        QCommandLineOption Option(QString::fromLatin1(Name), QString(), QStringLiteral("value"));
        Option.setFlags(QCommandLineOption::HiddenFromHelp);
        Parser.addOption(Option);
    }
    for (const char* Name : Flags) {
        QCommandLineOption Option(QString::fromLatin1(Name));
        Option.setFlags(QCommandLineOption::HiddenFromHelp);
        Parser.addOption(Option);
    }
}

void Print(std::FILE* To, const QString& Text)
{
    std::fputs(Text.toLocal8Bit().constData(), To);
}

const char* const Environment =
    "\nEnvironment:\n"
    "  KELVALOG_PORTS  A folder whose entries COM1, COM2, ... (usually symbolic\n"
    "                  links to serial devices or pseudo-terminals) are the\n"
    "                  serial ports, instead of /dev/ttyS*, /dev/ttyUSB* and\n"
    "                  /dev/ttyACM*.\n"
    "\nSettings:\n"
    "  kelvalog.INI beside the program when it can be written there; otherwise\n"
    "  $XDG_CONFIG_HOME/kelvalog/kelvalog.INI (~/.config/kelvalog/kelvalog.INI).\n"
    "\nHistory:\n"
    "  history.sqlite beside the program when it can be written there; otherwise\n"
    "  $XDG_DATA_HOME/kelvalog/history.sqlite (~/.local/share/kelvalog/).\n";

} // namespace

std::optional<int> AnswerCommandLine(int argc, char* argv[], const QString& Version)
{
    TCommandLineChoices Choices;
    return AnswerCommandLine(argc, argv, Version, Choices);
}

std::optional<int> AnswerCommandLine(int argc, char* argv[], const QString& Version,
                                     TCommandLineChoices& Choices)
{
    QCoreApplication::setApplicationName(QStringLiteral("kelvalog"));
    QCoreApplication::setApplicationVersion(Version);

    QStringList Arguments;
    for (int I = 0; I < argc; ++I)
        Arguments << QString::fromLocal8Bit(argv[I]);

    QCommandLineParser Parser;
    // "-platform offscreen" as the toolkit spells its options.
    Parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    Parser.setApplicationDescription(
        QStringLiteral("Kelvalog: reads, shows and logs the Dravon I2C sensor interface board."));
    // Not addHelpOption(): its --help-all only works through process(), which
    // needs the application object.
    const QCommandLineOption Help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays this help."));
    Parser.addOption(Help);
    const QCommandLineOption ShowVersion = Parser.addVersionOption();
    const QCommandLineOption Export(
        QStringLiteral("export"),
        QStringLiteral("Writes the history's ticks from <from> to the time given next "
                       "(ISO 8601, e.g. 2024-12-08T14:00 2024-12-08T18:00), without a window."),
        QStringLiteral("from"));
    const QCommandLineOption Format(QStringLiteral("format"),
                                    QStringLiteral("Export format: csv (default), tab or sylk."),
                                    QStringLiteral("format"), QStringLiteral("csv"));
    const QCommandLineOption Out(QStringLiteral("out"),
                                 QStringLiteral("Export into <file> instead of the output."),
                                 QStringLiteral("file"));
    const QCommandLineOption History(
        QStringLiteral("history"),
        QStringLiteral("The history file to keep or export (default: see below)."),
        QStringLiteral("file"));
    Parser.addOptions({Export, Format, Out, History});
    AcceptToolkitOptions(Parser);

    if (!Parser.parse(Arguments)) {
        Print(stderr, QStringLiteral("kelvalog: %1\nTry 'kelvalog --help' for more information.\n")
                          .arg(Parser.errorText()));
        return 2;
    }
    if (Parser.isSet(Help)) {
        // Without the application object the parser knows no program name.
        QString Text = Parser.helpText();
        Text.replace(QStringLiteral("<executable_name>"), QStringLiteral("kelvalog"));
        Print(stdout, Text + QString::fromLatin1(Environment));
        return 0;
    }
    if (Parser.isSet(ShowVersion)) {
        Print(stdout, QStringLiteral("kelvalog %1\n").arg(Version));
        return 0;
    }
    const QString HistoryFile = Parser.isSet(History)
                                    ? Parser.value(History)
                                    : QFile::decodeName(QByteArray::fromStdString(HistoryPath()));
    if (Parser.isSet(Export)) {
        const QStringList Rest = Parser.positionalArguments();
        if (Rest.size() != 1) {
            Print(stderr, QStringLiteral("kelvalog: --export takes a start and an end time.\n"
                                         "Try 'kelvalog --help' for more information.\n"));
            return 2;
        }
        return ExportFromCommandLine(HistoryFile, Parser.value(Export), Rest.constFirst(),
                                     Parser.value(Format), Parser.value(Out));
    }
    Choices.HistoryFile = HistoryFile;
    if (!Parser.positionalArguments().isEmpty()) {
        Print(stderr, QStringLiteral("kelvalog: unexpected argument '%1'.\n"
                                     "Try 'kelvalog --help' for more information.\n")
                          .arg(Parser.positionalArguments().constFirst()));
        return 2;
    }
    return std::nullopt;
}

} // namespace kelvalog
