// The updater's command line: the program writes it as one text (UpdaterCommandLine), the
// text is taken apart by the command-line rules (CommandLine::split) when the updater starts,
// and the updater reads its parameters from the parts (UpdaterParameters). The input is read as
// that text in UTF-8, in code page 936 and in Latin-1.
//
// Besides, the input's first three lines are the program's name, its parameter and its
// components, from which the program writes the updater's command line; the updater must read
// back the same program, parameter, staging folder and components.
#include "FuzzTarget.h"
#include "ScratchFolder.h"
#include "platform/CommandLine.h"
#include "platform/TextCodec.h"
#include "update/TAutoUpdate.h"
#include "updater/UpdaterParameters.h"

#include <QDir>
#include <unistd.h>

using zarq::CommandLine;
using zarq::UpdaterParameters;
using zarq::fuzz::fail;

namespace {

class RestartLine : public zarq::TAutoUpdate {
public:
    QString write(const QString& name, const QString& parameter, const QString& components) {
        FAppName = name;
        FAppParam = parameter;
        FAppComps = components;
        return UpdaterCommandLine();
    }
    QString staging() { return TemporaryDirectory(); }
};

bool holdsBlank(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() >= 1 && c.unicode() <= 32)
            return true;
    }
    return false;
}

void checkSplit(const QString& text) {
    const QStringList args = CommandLine::split(text);
    // Made in one piece: an input of blanks and letters splits into thousands of arguments.
    QString quoted;
    quoted.reserve(text.size() + 3 * args.size());
    for (const QString& arg : args) {
        if (arg.contains(QLatin1Char('"')) || arg.contains(QChar(0)))
            fail("an argument keeps a double quote or a NUL");
        if (holdsBlank(arg) && !text.contains(QLatin1Char('"')))
            fail("an argument holds a blank that was not inside quotes");
        quoted += QLatin1Char('"');
        quoted += arg;
        quoted += QLatin1String("\" ");
    }
    // Every argument, quoted, is read back as itself.
    if (CommandLine::split(quoted) != args)
        fail("quoted arguments do not split back into themselves");

    const std::optional<UpdaterParameters> p = UpdaterParameters::parse(args);
    if (!p)
        return;
    if (p->processId < 0 || p->components != args.mid(5))
        fail("the parameters are not the arguments");
    const QStringList restart = p->restartCommand();
    if (restart.isEmpty() || restart.size() > 2 || restart[0] != p->application)
        fail("the restart is not the program with at most its parameter");
    if (restart.size() == 2 && (restart[1] != p->applicationParameter || restart[1] == " "))
        fail("the restart's parameter is not the one given");
}

void checkRoundTrip(const QString& text) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    const QString name = lines.value(0);
    // A run gives the updater at least a blank for a missing parameter.
    const QString parameter = lines.value(1).isEmpty() ? QStringLiteral(" ") : lines.value(1);
    const QString components = lines.mid(2).join(QLatin1Char(' '));
    // Double quotes in the program or its parameter regroup the line (the restart refuses
    // such paths before it writes one); a NUL is no character of a command line.
    for (const QString& part : {name, parameter}) {
        if (part.contains(QLatin1Char('"')) || part.contains(QChar(0)))
            return;
    }
    // One run object for every input: making one costs more than the rest of the check.
    static RestartLine program;
    static const QString staging = program.staging();
    const QString line = program.write(name, parameter, components);
    const std::optional<UpdaterParameters> p = UpdaterParameters::parse(CommandLine::split(line));
    if (!p)
        fail("the updater does not read the command line the program wrote");
    if (p->processId != ::getpid() || p->logging)
        fail("the updater reads another process or log switch");
    if (p->application != QDir::currentPath() + QLatin1Char('/') + name)
        fail("the updater reads another program");
    if (p->applicationParameter != parameter)
        fail("the updater reads another parameter");
    if (p->stagingFolder != staging)
        fail("the updater reads another staging folder");
    if (p->components != CommandLine::split(components))
        fail("the updater reads other components");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zarq::fuzz::ensureCoreApplication();
    zarq::fuzz::ScratchFolder::instance(); // the staging folder lies in its home folder
    const QByteArray input = zarq::fuzz::bytesOf(data, size);
    for (const QString& text :
         {QString::fromUtf8(input), zarq::TextCodec::fromCp936(input), QString::fromLatin1(input)})
        checkSplit(text);
    checkRoundTrip(QString::fromUtf8(input));
    return 0;
}
