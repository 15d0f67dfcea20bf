#include "stations/StationsMain.h"

#include "app/Main.h"
#include "app/Startup.h"
#include "config/CommandLine.h"
#include "core/Clock.h"
#include "core/Error.h"
#include "core/Translations.h"
#include "mainwindow/SplashWindow.h"
#include "stations/Program.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdlib>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

int failStartup(const QString& message, int status = kExitStartupFailed)
{
    FailStartup(message, status);
    // The box leads with a sentence in the captions' language once the INI file has named it;
    // the cause stays as the log and stderr have it.
    QMessageBox::critical(nullptr, u"Kestrin"_s,
                          QCoreApplication::translate("Main", "Kestrin cannot start.") + u"\n\n"_s + message);
    return status;
}

// Without a display Qt's windowing connection fails and ends the process with an abort.
bool DisplayMissing(int argc, char* argv[])
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS) && !defined(Q_OS_ANDROID)
    QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "-platform") == 0)
            platform = QString::fromLocal8Bit(argv[i + 1]);
    }
    if (!platform.isEmpty() && !platform.startsWith(u"xcb") && !platform.startsWith(u"wayland"))
        return false;
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return false;
#endif
}

// Qt ends the process with an abort when no window platform starts (a display that does not
// answer, a platform plugin that fails to load): while the application object is made, such
// an end is Kestrin's start-up failure instead, with the platform's first word as its reason.
class PlatformStart {
public:
    PlatformStart() { s_previous = qInstallMessageHandler(&PlatformStart::handle); }
    ~PlatformStart() { qInstallMessageHandler(s_previous); }
    PlatformStart(const PlatformStart&) = delete;
    PlatformStart& operator=(const PlatformStart&) = delete;

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type != QtFatalMsg) {
            if (s_firstWord().isEmpty())
                s_firstWord() = message;
            if (s_previous)
                s_previous(type, context, message);
            return;
        }
        QString reason = (s_firstWord().isEmpty() ? message.section(u'\n', 0, 0) : s_firstWord()).trimmed();
        if (!reason.endsWith(u'.'))
            reason += u'.';
        FailStartup(
            u"the windows cannot be shown: %1 Use /headless, or set DISPLAY to a display that answers."_s.arg(reason));
        std::_Exit(kExitStartupFailed);
    }
    static QString& s_firstWord()
    {
        static QString word;
        return word;
    }
    static inline QtMessageHandler s_previous = nullptr;
};

int RunHere(int argc, char* argv[], const CommandLine& commandLine)
{
    WarnUnknownSwitches(commandLine);
    if (DisplayMissing(argc, argv))
        return FailStartup(u"no display: use /headless or set DISPLAY"_s);
    std::optional<PlatformStart> platformStart(std::in_place);
    QApplication app(argc, argv);
    platformStart.reset();
    QApplication::setApplicationName(u"Kestrin"_s);
    return RunWithWindows(commandLine);
}

} // namespace

int RunWithWindows(const CommandLine& commandLine)
{
    // A switch that cannot be used is said where the worker looks: in a box.
    if (!commandLine.errors.isEmpty())
        return failStartup(commandLine.errors.join(u'\n'), kExitConfiguration);
    QApplication::setQuitOnLastWindowClosed(false);
    auto splash = std::make_unique<SplashWindow>();
    splash->show();
    std::optional<Translations> translations; // for every window after the INI file's
    try {
        const AppConfig config = LoadConfiguration(commandLine, *splash);
        translations.emplace(TextLanguage(config.Language));
        RefuseStartupProblems(config);
        const SystemClock clock;
        Program program(clock, config, StandardCycles(), true);
        program.start(*splash);
        program.service().startTimers();
        return QApplication::exec();
    } catch (const std::exception& e) {
        splash->hide();
        return failStartup(ErrorText(e), StartupExitStatus(e));
    }
}

int StationsMain(int argc, char* argv[]) { return Main(argc, argv, RunHere); }

} // namespace kestrin
