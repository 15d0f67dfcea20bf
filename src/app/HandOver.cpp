// The hand-over to the windowed program: the one place that differs between the platforms.
#include "app/Main.h"
#include "app/Startup.h"
#include "app/WindowedRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <QProcess>
#else
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

#include <vector>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

#ifdef Q_OS_WIN

constexpr QStringView kExecutableSuffix = u".exe";

// A console and its Ctrl+C are shared with the child; its exit status becomes ours.
int RunWindowedProgram(const QString& program, std::vector<char*>&)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start(program, QCoreApplication::arguments().mid(1));
    if (!process.waitForStarted(-1))
        return FailStartup(u"%1 cannot be started: %2"_s.arg(program, process.errorString()));
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : kExitStartupFailed;
}

#else

constexpr QStringView kExecutableSuffix = u"";

// The same process goes on as the windowed program: its PID (the station's lock, a service
// manager) and its exit status stay.
int RunWindowedProgram(const QString& program, std::vector<char*>& arguments)
{
    const QByteArray path = QFile::encodeName(program);
    if (arguments.empty())
        arguments.push_back(nullptr);
    arguments.front() = const_cast<char*>(path.constData());
    arguments.push_back(nullptr);
    execv(path.constData(), arguments.data());
    return FailStartup(u"%1 cannot be started: %2"_s.arg(program, QString::fromLocal8Bit(std::strerror(errno))));
}

#endif

} // namespace

int HandOverToWindows(int argc, char* argv[], const CommandLine& commandLine)
{
    std::vector<char*> arguments(argv, argv + argc); // as given, before Qt takes its own out
    QCoreApplication app(argc, argv);
    const QString program =
        QDir(QCoreApplication::applicationDirPath()).filePath(kWindowedProgram.toString() + kExecutableSuffix);
    if (!QFileInfo(program).isExecutable()) {
        WarnUnknownSwitches(commandLine);
        return FailStartup(FullProgramNeeded(commandLine, QDir::toNativeSeparators(program)));
    }
    return RunWindowedProgram(program, arguments);
}

} // namespace kestrin
