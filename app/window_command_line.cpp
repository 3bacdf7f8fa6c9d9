#include "app/window_command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <iostream>

#include "station/program_version.h"

namespace tessaly {
namespace {

// The options the application object takes out of the command line itself (Qt's GUI, widget and
// X11 options), with or without a value. They are known to the parser, but not shown, so that
// they are no mistake and their values are not taken for a settings file.
constexpr const char* kToolkitOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger",
    "qwindowgeometry", "geometry", "qwindowicon", "icon", "qwindowtitle", "title",
    "session", "style", "stylesheet", "display", "name", "visual"};
constexpr const char* kToolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

void addToolkitOptions(QCommandLineParser& parser) {
    for (const char* name : kToolkitOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kToolkitFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// The usage line names the program as it was started, which only an application object knows;
// a plain one, unlike the window's, needs no display.
void printHelp(const QCommandLineParser& parser, int argc, char** argv) {
    QCoreApplication core(argc, argv);
    std::cout << parser.helpText().toLocal8Bit().constData();
}

}  // namespace

WindowCommandLine readWindowCommandLine(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    // Qt's options come with one dash ("-platform offscreen"); so may ours ("-help").
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Tessaly Monitor relays every byte between an L6 correction receiver (input) and a\n"
        "high-precision receiver (output), over serial ports or TCP, and monitors the L6\n"
        "reports of the correction stream."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    addToolkitOptions(parser);
    parser.addPositionalArgument(
        QStringLiteral("settings.ini"),
        QStringLiteral("The settings file instead of tessaly-monitor.ini: a path with '/', or a "
                       "file name in the program's folder."),
        QStringLiteral("[settings.ini]"));

    WindowCommandLine result;
    if (!parser.parse(arguments)) {
        std::cerr << "tessaly-monitor: " << parser.errorText().toLocal8Bit().constData()
                  << " See tessaly-monitor --help." << std::endl;
        result.exitStatus = 2;
    } else if (parser.isSet(help)) {
        printHelp(parser, argc, argv);
        result.exitStatus = 0;
    } else if (parser.isSet(version)) {
        std::cout << programVersionLine() << std::endl;
        result.exitStatus = 0;
    } else {
        for (const QString& argument : parser.positionalArguments()) {
            result.arguments.push_back(argument.toStdString());
        }
    }
    return result;
}

}  // namespace tessaly
