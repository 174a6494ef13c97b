#include "app/DiagnosticCommands.h"
#include "app/DisplayProbe.h"
#include "app/HeadlessFront.h"
#include "app/LogLine.h"
#include "app/SetLoginCommand.h"
#include "app/SignalPipe.h"
#include "app/TimerCensus.h"
#include "app/TimerReport.h"
#include "app/UpdateCommand.h"
#include "netinfo/BrowserIdentity.h"
#include "netinfo/LanAddress.h"
#include "platform/ProgramPath.h"
#include "update/FileVersion.h"
#include "update/UpdateTrust.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#if ZARQ_WITH_DESKTOP
#include "app/desktop/DesktopProgram.h"

#include <QApplication>
#endif
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace {

const char* const kHelp =
    "Usage: zarq [--headless] [--no-watch] [--echo-host HOST] [--api-host HOST]\n"
    "       zarq --set-login NAME [--zone ZONE] [--lan|--no-lan]\n"
    "            [--autologin|--no-autologin] [--password-stdin]\n"
    "       zarq --update [--update-url URL] [--yes]\n"
    "       zarq --lan-address | --network-report | --help | --version\n"
    "\n"
    "Zarq keeps a name of the dynamic-DNS service pointed at this machine: it signs the name\n"
    "in, sends a heartbeat every five minutes and signs out when stopped.\n"
    "\n"
    "Running\n"
    "  (no option)        with a display: the main window and the tray icon; closing the\n"
    "                     window hides it, the tray menu's exit command signs out and quits.\n"
    "                     A second start brings the running window forward.\n"
    "  --headless         run without a window (chosen by itself when there is no display\n"
    "                     or the display does not answer).\n"
    "                     Loads the saved login and, when a name and password are saved and\n"
    "                     auto-login is on, signs in 100 ms after start. One line per event\n"
    "                     goes to standard error. After a network error it tries again by\n"
    "                     itself, after 1 minute, then 2, 4 and 5 minutes at most.\n"
    "                     SIGTERM or SIGINT signs out and ends the program.\n"
    "  --no-watch         do not react at once to network changes and resumes. By default\n"
    "                     the program listens to the kernel's address, route and link\n"
    "                     changes and to logind's resume from sleep (without waking up while\n"
    "                     nothing changes): about a second after a change it asks the echo\n"
    "                     host, signs in again when the public address moved and sends the\n"
    "                     heartbeat at once when the LAN address changed or after a resume;\n"
    "                     a headless sign-in waiting to retry is tried at once. Without it\n"
    "                     changes reach the service with the next heartbeat. The settings\n"
    "                     value WatchNetwork=dword:00000000 turns it off too.\n"
    "  --echo-host HOST   public-address echo host (env ZARQ_ECHO_HOST)\n"
    "  --api-host HOST    session API host (env ZARQ_API_HOST)\n"
    "                     A HOST may carry a port: 127.0.0.1:8080.\n"
    "\n"
    "Saving the login (what the login dialog saves)\n"
    "  --set-login NAME   the name (its label, without the parent zone; letters are\n"
    "                     turned into lower case; no blanks, control characters, \"&\",\n"
    "                     \"?\", \"#\" or \"/\", which would break the sign-in request)\n"
    "  --zone ZONE        the parent zone (default and only entry: env ZARQ_ZONE or %1)\n"
    "  --lan, --no-lan    also report the LAN address (the LAN name NAME.in.ZONE)\n"
    "  --autologin, --no-autologin\n"
    "                     sign in by itself at start\n"
    "  --password-stdin   read the password from the first line of standard input (never\n"
    "                     give it on the command line). Only a key derived from it is saved.\n"
    "                     Without it the key saved before is kept.\n"
    "  Settings file: $XDG_CONFIG_HOME/tervan/zarq.reg (~/.config when unset), mode 0600.\n"
    "\n"
    "Updating\n"
    "  --update           one update run in the foreground, as the desktop program runs it at\n"
    "                     every start: fetch the update control file, fetch and place what is\n"
    "                     due. Each message goes to standard error as\n"
    "                     \"zarq: update [NNN] text (Status:S) (Error:E)\". Exit status 0 when\n"
    "                     no message reported a failure, else 1. The headless program never\n"
    "                     updates itself otherwise.\n"
    "                     When the program's own files were fetched, it prints the restart\n"
    "                     notice, starts the updater and ends; the updater puts the files in\n"
    "                     place and starts the program again from the current directory. In a\n"
    "                     folder this user cannot write nothing is replaced (exit status 1).\n"
    "  --update-url URL   the update control file (env ZARQ_UPDATE_URL or %2)\n"
    "                     A run acts on a control file only when it is signed (minisign,\n"
    "                     URL.minisig beside it) with a trusted key, not older than the last\n"
    "                     one accepted, and every file it fetches matches its entry's sha256.\n"
    "                     Trusted keys: env ZARQ_UPDATE_PUBLIC_KEY (minisign public key lines,\n"
    "                     separated by blanks), else those built in (-DZARQ_UPDATE_PUBLIC_KEY).\n"
    "                     Without a key updates are refused, unless ZARQ_UPDATE_ALLOW_UNSIGNED=1\n"
    "                     or \"UpdateAllowUnsigned\"=dword:00000001 in the settings file allows\n"
    "                     unsigned ones (an in-house host); with a key that has no effect.\n"
    "  --yes              answer the control file's question, news and licence with yes\n"
    "                     (without it they count as declined, and the run stops there).\n"
    "                     Its messages, news and licence go to standard error either way.\n"
    "\n"
    "Diagnostics\n"
    "  --lan-address      print the LAN address sent with the sign-in\n"
    "  --network-report   print the report of network adapters and DNS servers\n"
    "  --version          print the program's version, the one the update compares\n"
    "\n"
    "Exit status\n"
    "  0  signed out after SIGTERM/SIGINT (or a command succeeded)\n"
    "  1  the settings could not be read or written\n"
    "  2  bad command line or input\n"
    "  3  the service refused the name or password\n"
    "  4  the name was signed in from another place\n"
    "  5  stopped, but the sign-out failed (or a second signal cut it short)\n"
    "  6  nothing to sign in with: no saved name or password, or auto-login off\n"
    "\n"
    "Test hooks (for the test suite; not for normal use)\n"
    "  ZARQ_TEST_HEARTBEAT_MS  heartbeat period in ms instead of 300000\n"
    "  ZARQ_TEST_RETRY_MS      first retry delay in ms (grows to 5 times it) instead of 60000\n"
    "  ZARQ_TEST_HTTP_TIMEOUT_MS  how long a request to the service may receive nothing,\n"
    "                          in ms instead of 30000\n"
    "  ZARQ_TEST_TIMER_REPORT  when set, SIGUSR1 prints the live timers and objects\n"
    "\n"
    "Other environment: ZARQ_SITE (used by the desktop program).\n";

void printErr(const QString& line) {
    zarq::writeLogLine(stderr, line);
}

int positiveEnv(const char* name, int fallback) {
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

// The desktop window is wanted unless --headless is given or there is no display. Decided
// before the application object exists, since that choice fixes its kind. The options are
// recognised in every spelling the parser below accepts ("--set-login=NAME", "-help"), so a
// command that needs no window never tries to reach a display.
bool windowRequested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--")
            break;
        if (!arg.starts_with('-'))
            continue;
        arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
        arg = arg.substr(0, arg.find('='));
        if (arg == "headless" || arg == "set-login" || arg == "help" || arg == "h" ||
            arg == "update" || arg == "version")
            return false;
    }
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// A display that is named but does not answer (a dead X server, a forwarded DISPLAY of an
// SSH session that is gone) would stop the window program inside Qt's display connection,
// so it is tried first and the program runs headless instead, saying why.
bool wantsDesktop(int argc, char** argv) {
    if (!windowRequested(argc, argv))
        return false;
    const QString why =
        zarq::DisplayProbe::unreachableReason(zarq::DisplayProbe::Environment::current());
    if (why.isEmpty())
        return true;
    printErr(why + QStringLiteral("; running headless"));
    return false;
}

#if !ZARQ_WITH_DESKTOP
// The launcher holds no GUI code, so a headless machine needs no GUI libraries and the
// background program stays small. When the window is wanted it becomes its desktop companion
// (same process, same arguments). Returns only when that is impossible.
void becomeDesktopProgram(char** argv) {
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString companion = zarq::ProgramPath::desktopCompanion(self);
    if (companion.isEmpty()) {
        printErr(QStringLiteral("the desktop window is not installed (zarq-desktop beside %1 or "
                                "in ../libexec/zarq); running headless")
                     .arg(self));
        return;
    }
    qputenv(zarq::ProgramPath::kLauncherVariable, QFile::encodeName(self));
    const QByteArray path = QFile::encodeName(companion);
    ::execv(path.constData(), argv);
    printErr(QStringLiteral("cannot start %1: %2; running headless")
                 .arg(companion, QString::fromLocal8Bit(std::strerror(errno))));
}
#endif

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--lan-address") == 0)
        return zarq::runLanAddressCommand();
    if (argc == 2 && std::strcmp(argv[1], "--network-report") == 0)
        return zarq::runNetworkReportCommand();

    // The census has to see every object, so it starts before the first one exists.
    const bool timerReport = zarq::TimerReport::requested() && zarq::TimerCensus::install();
    if (zarq::TimerReport::requested() && !timerReport)
        printErr(QStringLiteral("%1: this Qt's object hooks cannot be used; no timer census")
                     .arg(QLatin1String(zarq::TimerReport::kVariable)));

#if ZARQ_WITH_DESKTOP
    const bool desktop = wantsDesktop(argc, argv);
    // The kind of application object decides whether windows can exist at all.
    const std::unique_ptr<QCoreApplication> appObject =
        desktop ? std::make_unique<QApplication>(argc, argv)
                : std::make_unique<QCoreApplication>(argc, argv);
#else
    if (wantsDesktop(argc, argv))
        becomeDesktopProgram(argv);
    const auto appObject = std::make_unique<QCoreApplication>(argc, argv);
#endif
    QCoreApplication& app = *appObject;
    std::unique_ptr<zarq::TimerReport> timerReporter;
    if (timerReport) {
        timerReporter = std::make_unique<zarq::TimerReport>();
        if (!timerReporter->install())
            printErr(QStringLiteral("cannot watch for SIGUSR1: %1")
                         .arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    QCoreApplication::setApplicationName(QStringLiteral("zarq"));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption headless(QStringLiteral("headless"));
    const QCommandLineOption noWatch(QStringLiteral("no-watch"));
    const QCommandLineOption echoHost(QStringLiteral("echo-host"), {}, QStringLiteral("HOST"));
    const QCommandLineOption apiHost(QStringLiteral("api-host"), {}, QStringLiteral("HOST"));
    const QCommandLineOption setLogin(QStringLiteral("set-login"), {}, QStringLiteral("NAME"));
    const QCommandLineOption zone(QStringLiteral("zone"), {}, QStringLiteral("ZONE"));
    const QCommandLineOption lan(QStringLiteral("lan"));
    const QCommandLineOption noLan(QStringLiteral("no-lan"));
    const QCommandLineOption autologin(QStringLiteral("autologin"));
    const QCommandLineOption noAutologin(QStringLiteral("no-autologin"));
    const QCommandLineOption passwordStdin(QStringLiteral("password-stdin"));
    const QCommandLineOption update(QStringLiteral("update"));
    const QCommandLineOption updateUrl(QStringLiteral("update-url"), {}, QStringLiteral("URL"));
    const QCommandLineOption yes(QStringLiteral("yes"));
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({help, headless, noWatch, echoHost, apiHost, setLogin, zone, lan, noLan,
                       autologin, noAutologin, passwordStdin, update, updateUrl, yes, version});

    QString configError;
    zarq::ZarqConfig config = zarq::ZarqConfig::fromEnvironment(&configError);
    if (!parser.parse(app.arguments()) || !parser.positionalArguments().isEmpty()) {
        printErr(parser.positionalArguments().isEmpty()
                     ? parser.errorText()
                     : QStringLiteral("unexpected argument: %1")
                           .arg(parser.positionalArguments().first()));
        printErr(QStringLiteral("see \"zarq --help\""));
        return zarq::HeadlessFront::ExitUsage;
    }
    if (parser.isSet(help)) {
        const QByteArray text = QString::fromLatin1(kHelp)
                                    .arg(QString::fromLatin1(zarq::ZarqConfig::kParentZone),
                                         QString::fromLatin1(zarq::ZarqConfig::kUpdateUrl))
                                    .toLocal8Bit();
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
        std::printf("\nThis program: %s\n",
                    zarq::UpdateTrust::load().describe().toLocal8Bit().constData());
        return 0;
    }
    if (parser.isSet(version)) {
        // Read from the running file's own note, so it is the version an update compares.
        const zarq::VersionValue v = zarq::FileVersion::read(QStringLiteral("/proc/self/exe"));
        if (!v.isValid()) {
            printErr(QStringLiteral("this program file carries no version"));
            return zarq::HeadlessFront::ExitError;
        }
        std::printf("zarq %s\n", v.toString().toLatin1().constData());
        return 0;
    }
    // A key that cannot be read is the vendor's or the user's mistake: said at every start, and
    // every update refused, rather than quietly running without one.
    if (const zarq::UpdateTrust trust = zarq::UpdateTrust::keysInForce(); !trust.error.isEmpty())
        printErr(trust.refusal());
    if (!configError.isEmpty()) {
        printErr(configError);
        return zarq::HeadlessFront::ExitUsage;
    }
    for (const auto& [option, target] :
         {std::pair{&echoHost, &config.echoHost}, std::pair{&apiHost, &config.apiHost}}) {
        if (!parser.isSet(*option))
            continue;
        const QByteArray value = parser.value(*option).toLatin1();
        const QString why = zarq::ZarqConfig::checkHost(value);
        if (!why.isEmpty()) {
            printErr(QStringLiteral("--%1: %2").arg(option->names().first(), why));
            return zarq::HeadlessFront::ExitUsage;
        }
        *target = value;
    }
    if (parser.isSet(updateUrl)) {
        if (parser.value(updateUrl).isEmpty()) {
            printErr(QStringLiteral("--update-url: the URL is empty"));
            return zarq::HeadlessFront::ExitUsage;
        }
        config.updateUrl = parser.value(updateUrl).toUtf8();
    }
    if (parser.isSet(update)) {
        zarq::UpdateCommand command;
        command.url = QString::fromUtf8(config.updateUrl);
        command.yes = parser.isSet(yes);
        return command.run(stderr);
    }
    if (parser.isSet(yes)) {
        printErr(QStringLiteral("--yes answers the questions of --update and needs it"));
        return zarq::HeadlessFront::ExitUsage;
    }
    if ((parser.isSet(lan) && parser.isSet(noLan)) ||
        (parser.isSet(autologin) && parser.isSet(noAutologin))) {
        printErr(
            QStringLiteral("--lan/--no-lan and --autologin/--no-autologin exclude each other"));
        return zarq::HeadlessFront::ExitUsage;
    }
    const bool loginOptions = parser.isSet(zone) || parser.isSet(lan) || parser.isSet(noLan) ||
                              parser.isSet(autologin) || parser.isSet(noAutologin) ||
                              parser.isSet(passwordStdin);
    if (parser.isSet(setLogin)) {
        zarq::SetLoginCommand command;
        command.name = parser.value(setLogin);
        if (parser.isSet(zone))
            command.zone = parser.value(zone);
        if (parser.isSet(lan) || parser.isSet(noLan))
            command.lan = parser.isSet(lan);
        if (parser.isSet(autologin) || parser.isSet(noAutologin))
            command.autologin = parser.isSet(autologin);
        command.passwordFromStdin = parser.isSet(passwordStdin);
        return command.run(config, zarq::RegistryStore::defaultFilePath(), stdin, stderr);
    }
    if (loginOptions) {
        printErr(
            QStringLiteral("--zone, --lan, --autologin and --password-stdin go with --set-login"));
        return zarq::HeadlessFront::ExitUsage;
    }

#if ZARQ_WITH_DESKTOP
    if (desktop) {
        zarq::DesktopOptions desktopOptions;
        desktopOptions.config = config;
        desktopOptions.watch = !parser.isSet(noWatch);
        desktopOptions.heartbeatMs =
            positiveEnv("ZARQ_TEST_HEARTBEAT_MS", desktopOptions.heartbeatMs);
        std::unique_ptr<zarq::SignalPipe> signalPipe;
        return zarq::runDesktop(
            static_cast<QApplication&>(app), desktopOptions,
            [&signalPipe](std::function<void()> endSession) {
                signalPipe = std::make_unique<zarq::SignalPipe>(
                    [endSession = std::move(endSession)](int) { endSession(); });
                return signalPipe->install();
            });
    }
#endif

    zarq::HeadlessFront::Options options;
    options.config = config;
    options.heartbeatMs = positiveEnv("ZARQ_TEST_HEARTBEAT_MS", options.heartbeatMs);
    options.firstRetryMs = positiveEnv("ZARQ_TEST_RETRY_MS", options.firstRetryMs);
    options.maxRetryMs = options.firstRetryMs * 5;
    options.httpTimeoutMs = positiveEnv("ZARQ_TEST_HTTP_TIMEOUT_MS", 0);
    options.watch = !parser.isSet(noWatch);
    options.getLanAddress = [] { return zarq::GetLanAddress(); };
    options.getBrowserUserAgent = [] { return zarq::GetBrowserUserAgent(); };
    zarq::HeadlessFront front(options);
    zarq::SignalPipe signalPipe([&front](int) { front.requestStop(); });
    if (!signalPipe.install()) {
        printErr(QStringLiteral("cannot watch for SIGTERM/SIGINT: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return zarq::HeadlessFront::ExitError;
    }
    if (!front.start())
        return front.exitStatus();
    return app.exec();
}
