// The update control file and every value kind read from it. The input is the file: it is
// fetched the way the program's runs fetch it (a local "update1.txt" here, so nothing goes on
// the network), read by the run's own steps (GetControlFile for the application section,
// ReadFileList for the file entries), and every key of the known sections is read as its kind.
//
// A section "fuzz" may set the component's date format and separators (keys dateformat,
// dateseparator, timeseparator), and a section "folders" names folders for a placeholder
// expansion whose folders may hold placeholders themselves.
#include "FuzzTarget.h"
#include "ScratchFolder.h"
#include "update/AutoUpdateConfiguration.h"
#include "update/ControlFile.h"
#include "update/FolderPlaceholders.h"
#include "update/TAutoUpdate.h"
#include "update/UpdateDate.h"
#include "update/ValueKinds.h"
#include "update/VersionValue.h"

#include <QSet>

using zarq::ControlFile;
using zarq::FolderPlaceholders;
using zarq::UpdateDate;
using zarq::ValueKinds;
using zarq::VersionValue;
using zarq::fuzz::fail;

namespace {

class ControlFileRun : public zarq::TAutoUpdate {
public:
    // The parser and the run's reading steps are what is fuzzed, not the signature: the control
    // file is taken unsigned.
    ControlFileRun() {
        zarq::UpdateTrust trust;
        trust.allowUnsigned = true;
        SetTrust(trust);
    }
    int getControlFile() { return GetControlFile(); }
    int readFileList() { return ReadFileList(); }
    const zarq::TFileList& files() const { return FFileList; }
    const ControlFile& values() const { return ControlValues(); }
    QString folder(const QString& name) { return ExpandFolderName(name); }
    const QString& appName() const { return FAppName; }
    const QString& appParam() const { return FAppParam; }
    const QString& appComps() const { return FAppComps; }
};

const char* const kSections[][10] = {
    {"update", "signature", "descr", "date", "time", "localversion", "unconditional", "newversion",
     "newsize", "newchecksum"},
    {"application", "appupdate", "appname", "appparam", "appcomps", "silentrestart"},
    {"action", "msg", "htmldlg", "runbefore", "showURL", "query", "updateURL", "runafter"},
    {"custom", "validatemsg", "validateparam", "processmsg", "processparam"},
    {"whatsnew", "file", "caption", "okbtn", "cancelbtn"},
    {"eula", "file", "caption", "okbtn", "accept", "notaccept"},
    {"files", "count"},
    {"file1", "url", "localversion", "newversion", "newsize", "newchecksum", "date", "time",
     "targetdir", "compressed"},
};

void checkInteger(const QString& text) {
    const int a = ValueKinds::ParseInteger(text, 7);
    const int b = ValueKinds::ParseInteger(text, 8);
    if (a != b && (a != 7 || b != 8))
        fail("an integer depends on its default in another way than by being it");
    if (a == b && ValueKinds::ParseInteger(QString::number(a), 9) != a)
        fail("an integer printed does not read back as itself");
}

void checkVersion(const QString& text) {
    const VersionValue value = VersionValue::parse(text);
    if (value.isValid() && VersionValue::parse(value.toString()).High != value.High)
        fail("a version printed reads back with another high half");
    if (value.isValid() && VersionValue::parse(value.toString()).Low != value.Low)
        fail("a version printed reads back with another low half");
    // The comma and the dot are the same separator when only one of them is used.
    if (!text.contains(QLatin1Char(','))) {
        const VersionValue commas = VersionValue::parse(QString(text).replace('.', ','));
        if (commas.High != value.High || commas.Low != value.Low)
            fail("a version reads differently with commas for its dots");
    }
}

void checkDate(const QString& date, const QString& time, const ControlFileRun& run) {
    const QDateTime when =
        UpdateDate::combine(date, time, run.DateFormat, run.DateSeparator, run.TimeSeparator);
    if (!when.isValid())
        fail("a date and time combine to no valid moment");
    const int seconds = UpdateDate::parseTime(time, run.TimeSeparator);
    if (seconds < -1 || seconds >= 24 * 3600)
        fail("a time of day lies outside the day");
    const QDate day = UpdateDate::parseDate(date, run.DateFormat, run.DateSeparator);
    if (!day.isValid() && when != UpdateDate::unreadable())
        fail("an unreadable date does not count as the stand-in date");
    if (day.isValid() && when.date() != day && seconds < 0)
        fail("a date without a time moved to another day");
}

// An expansion can insert at most kMaxInsertions folders, each no longer than the longest.
void checkExpansion(const QString& text, const QString& expanded, qsizetype longest) {
    if (expanded.size() > text.size() + FolderPlaceholders::kMaxInsertions * longest)
        fail("a placeholder expansion grew without bound");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zarq::fuzz::ensureCoreApplication();
    const zarq::fuzz::ScratchFolder& scratch = zarq::fuzz::ScratchFolder::instance();
    scratch.reset();
    const QByteArray input = zarq::fuzz::bytesOf(data, size);
    scratch.write(QStringLiteral("update1.txt"), input);

    ControlFileRun run;
    zarq::AutoUpdateConfiguration::apply(run, scratch.path(QStringLiteral("update1.txt")));
    run.UpdateType = zarq::fileUpdate; // fetched from the scratch folder, not the network
    const ControlFile settings = ControlFile::fromBytes(input);
    run.DateFormat = settings.ReadString("fuzz", "dateformat", run.DateFormat);
    const QString dateSeparator = settings.ReadString("fuzz", "dateseparator");
    if (!dateSeparator.isEmpty())
        run.DateSeparator = dateSeparator[0];
    const QString timeSeparator = settings.ReadString("fuzz", "timeseparator");
    if (!timeSeparator.isEmpty())
        run.TimeSeparator = timeSeparator[0];

    // An empty file counts as one that could not be fetched.
    if (run.getControlFile() != (input.isEmpty() ? 4 : 0))
        fail("a control file in place was not read, or an empty one was");
    if (input.isEmpty())
        return 0;
    const ControlFile& values = run.values();
    if (run.appParam().isEmpty())
        fail("the application parameter is empty instead of a blank");

    qsizetype longest = 0;
    for (const char* name : {"APP", "TMP", "DOC", "WIN", "SYS", "PF"}) {
        const QString folder = run.folder(QLatin1String(name));
        if (!folder.isEmpty())
            longest = qMax(longest, FolderPlaceholders::insertable(folder).size());
    }
    for (const auto& section : kSections) {
        const QString name = QLatin1String(section[0]);
        for (int k = 1; k < 10 && section[k] != nullptr; ++k) {
            const QString key = QLatin1String(section[k]);
            const QString text = values.ReadString(name, key);
            if (text.size() > ControlFile::kMaxValueBytes)
                fail("a value is longer than the reader keeps");
            checkInteger(text);
            (void)values.ReadFlag(name, key, 1);
            checkVersion(text);
            const QString lines = ValueKinds::ExpandLines(text);
            if (lines.contains(QLatin1String("\\n")))
                fail("a line break is left in its written form");
            checkExpansion(text, run.ExpandPath(text), longest);
        }
    }
    checkDate(values.ReadString("update", "date"), values.ReadString("update", "time"), run);
    checkExpansion(values.ReadString("application", "appname"), run.appName(), longest);
    checkExpansion(values.ReadString("application", "appcomps"), run.appComps(), longest);

    // Folders that name placeholders themselves: the expansion stays bounded.
    qsizetype longestOwn = 0;
    const auto lookup = [&](const QString& upperName) {
        const QString folder = values.ReadString("folders", upperName);
        if (!folder.isEmpty())
            longestOwn = qMax(longestOwn, FolderPlaceholders::insertable(folder).size());
        return folder;
    };
    const QString text = values.ReadString("folders", "text");
    const QString expanded = FolderPlaceholders::expand(text, lookup);
    checkExpansion(text, expanded, longestOwn);

    // A list of thousands of entries runs the same code thousands of times: a search that
    // wanders into large counts would spend its time there and find nothing new. (The bound of a
    // list's length has its own unit test.)
    if (values.ReadInteger("files", "count", 0) > 4096)
        return 0;
    const int count = run.readFileList();
    const qsizetype listed = count <= 0 ? 0 : qMin(count, 65535);
    if (run.files().size() != listed)
        fail("the file list does not hold the entries the count gives");
    // Most of a long list is absent entries with the same empty values: each value once.
    QSet<QString> versions, dates;
    for (const zarq::TFileDescription& item : run.files()) {
        if (!item.TargetDir.isEmpty() && !item.TargetDir.endsWith(QLatin1Char('/')))
            fail("a target folder does not end with its separator");
        if (!versions.contains(item.NewVersion)) {
            versions.insert(item.NewVersion);
            checkVersion(item.NewVersion);
        }
        if (!dates.contains(item.NewDate + QLatin1Char('\n') + item.NewTime)) {
            dates.insert(item.NewDate + QLatin1Char('\n') + item.NewTime);
            checkDate(item.NewDate, item.NewTime, run);
        }
    }
    return 0;
}
