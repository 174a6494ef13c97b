#include "update/TAutoUpdate.h"

#include "platform/CommandLine.h"
#include "platform/ProcessStart.h"
#include "update/RememberedSettings.h"
#include "update/ValueKinds.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <cstdio>

// The control file's instructions and dialogs, the finishing instructions and the values
// remembered between runs. What needs a person, and opening pages, goes through the user
// interface.

namespace zarq {

namespace {

const QString kAction = QStringLiteral("action");
const QString kCustom = QStringLiteral("custom");

// The executable file a command line's first word names: a path (relative to the current
// folder) or a name found on PATH. Empty when it names none.
QString executableFile(const QString& word) {
    if (word.contains(QLatin1Char('/'))) {
        const QFileInfo info(word);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(word);
}

void complain(const QString& text) {
    std::fprintf(stderr, "zarq: update: %s\n", qPrintable(text));
    std::fflush(stderr);
}

} // namespace

QString TAutoUpdate::GetControlFileURL() {
    const QString remembered = RememberedSettings(LastURLEntry, FSettingsFile).lastURL();
    return ExpandPath(remembered.isEmpty() ? URL : remembered);
}

std::optional<QDateTime> TAutoUpdate::RememberedUpdateDate() {
    FRememberedDate = true;
    return RememberedSettings(LastURLEntry, FSettingsFile).lastDate();
}

void TAutoUpdate::OpenDocument(const QString& value) {
    const QString text = value.trimmed();
    if (text.isEmpty())
        return;
    const QFileInfo file(text);
    if (file.exists()) {
        UserInterface().OpenURL(QUrl::fromLocalFile(file.absoluteFilePath()).toString());
        return;
    }
    const QUrl url = QUrl::fromUserInput(text);
    if (url.isValid())
        UserInterface().OpenURL(url.toString());
}

void TAutoUpdate::StartProgram(const QString& commandLine) {
    const QString text = commandLine.trimmed();
    if (text.isEmpty())
        return;
    AllowVerifiedProgram(text);
    // A whole value naming a file: a program with blanks in its path, or a document.
    QStringList argv;
    const QFileInfo whole(text);
    if (whole.isFile() && whole.isExecutable()) {
        argv = QStringList{whole.absoluteFilePath()};
    } else if (!whole.exists()) {
        argv = CommandLine::split(text);
        if (!argv.isEmpty())
            argv[0] = executableFile(argv[0]);
    }
    if (argv.isEmpty() || argv[0].isEmpty()) {
        // A URL or a document: opened by the desktop, like a shell's "open" of the value.
        const QUrl url(text);
        if (whole.exists() || url.scheme().size() > 1)
            OpenDocument(text);
        else
            complain(QStringLiteral("no program to start in \"%1\"").arg(text));
        return;
    }
    // The start is not waited for and its outcome is not examined, as the control file's
    // author expects; a program that cannot be started is still named on standard error.
    QString error;
    if (ProcessStart::detached(argv, &error) < 0)
        complain(QStringLiteral("cannot start %1").arg(error));
}

int TAutoUpdate::ProcessActions() {
    const ControlFile& values = ControlValues();
    const QString message = values.ReadString(kAction, QStringLiteral("msg"));
    if (!message.isEmpty()) {
        Log(934);
        UserInterface().ShowMessage(ValueKinds::ExpandLines(message));
    }
    // The HTML dialog is the page shown in the default browser; there is no dialog to fail.
    const QString page = ExpandPath(values.ReadString(kAction, QStringLiteral("htmldlg")));
    if (!page.isEmpty()) {
        Log(935);
        OpenDocument(page);
    }
    StartProgram(ExpandPath(values.ReadString(kAction, QStringLiteral("runbefore"))));
    if (OnCustomProcess)
        OnCustomProcess(this, values.ReadString(kCustom, QStringLiteral("processmsg")),
                        values.ReadString(kCustom, QStringLiteral("processparam")));
    // The page opens without the proxy credentials: the browser has its own proxy settings, and
    // credentials in the URL would go to the page's host, not to the proxy.
    const QString show = ExpandPath(values.ReadString(kAction, QStringLiteral("showURL")));
    if (!show.isEmpty()) {
        Log(942);
        OpenDocument(show);
    }
    const QString query = values.ReadString(kAction, QStringLiteral("query"));
    if (!query.isEmpty()) {
        Log(936);
        if (!UserInterface().Query(ValueKinds::ExpandLines(query))) {
            FAppUpdate = false;
            return -1;
        }
    }
    return FCancelled ? -1 : 0;
}

std::optional<QStringList> TAutoUpdate::GetWhatsNew() {
    QString url =
        ControlValues().ReadString(QStringLiteral("whatsnew") + LanguageID, QStringLiteral("file"));
    if (url.isEmpty())
        return std::nullopt;
    if (OnBeforeFileDownload)
        OnBeforeFileDownload(this, 0, url, url);
    Log(937);
    return DownloadText(url, ControlValues().ReadString(QStringLiteral("whatsnew") + LanguageID,
                                                        QStringLiteral("sha256")));
}

std::optional<QStringList> TAutoUpdate::GetEULA() {
    const QString url =
        ControlValues().ReadString(QStringLiteral("eula") + LanguageID, QStringLiteral("file"));
    if (url.isEmpty())
        return std::nullopt;
    Log(939);
    return DownloadText(url, ControlValues().ReadString(QStringLiteral("eula") + LanguageID,
                                                        QStringLiteral("sha256")));
}

int TAutoUpdate::ShowWhatsNew(const QStringList& lines) {
    if (OnDownloadedWhatsNew) {
        int res = 1;
        OnDownloadedWhatsNew(this, lines, res);
        return res == 1 ? 0 : -1;
    }
    const ControlFile& values = ControlValues();
    const QString section = QStringLiteral("whatsnew");
    if (UserInterface().ShowWhatsNew(
            values.ReadString(section, QStringLiteral("caption")), lines,
            values.ReadString(section, QStringLiteral("okbtn"), QStringLiteral("Ok")),
            values.ReadString(section, QStringLiteral("cancelbtn"), QStringLiteral("Cancel"))))
        return 0;
    Log(938);
    return -1;
}

int TAutoUpdate::ShowEULA(const QStringList& lines) {
    if (OnDownloadedEULA) {
        int res = 1;
        OnDownloadedEULA(this, lines, res);
        return res == 1 ? 0 : -1;
    }
    const ControlFile& values = ControlValues();
    const QString section = QStringLiteral("eula");
    return UserInterface().ShowEULA(
               values.ReadString(section, QStringLiteral("caption")), lines,
               values.ReadString(section, QStringLiteral("okbtn"), QStringLiteral("Ok")),
               values.ReadString(section, QStringLiteral("accept"), QStringLiteral("I accept")),
               values.ReadString(section, QStringLiteral("notaccept"),
                                 QStringLiteral("I do not accept")))
               ? 0
               : -1;
}

int TAutoUpdate::FinishUpdate() {
    if (FCancelled)
        return -1;
    if (PostUpdateInfo.Enabled) {
        bool allowPost = true;
        if (OnBeforePost)
            OnBeforePost(this, allowPost);
        if (allowPost) {
            SendUpdateInfo();
            bool allowPostResult = true;
            if (OnProcessPostResult)
                OnProcessPostResult(this, allowPostResult);
            if (!allowPostResult)
                return -1;
        }
    }
    RememberedSettings remembered(LastURLEntry, FSettingsFile);
    if (FRememberedDate) {
        const QString failure = remembered.setLastDate(FUpdateDate);
        if (!failure.isEmpty())
            complain(QStringLiteral("the release date is not remembered: %1").arg(failure));
    }
    const QString nextURL = ControlValues().ReadString(kAction, QStringLiteral("updateURL"));
    if (!nextURL.isEmpty()) {
        Log(941);
        const QString failure = remembered.setLastURL(nextURL);
        if (!failure.isEmpty())
            complain(QStringLiteral("the new update URL is not remembered: %1").arg(failure));
    }
    if (Utility && ApplyPatch)
        ExtractPatcher();
    StartProgram(ExpandPath(ControlValues().ReadString(kAction, QStringLiteral("runafter"))));
    Log(948);
    return 0;
}

bool TAutoUpdate::ExtractPatcher() {
    return false; // never used: the program does not apply patches
}

} // namespace zarq
