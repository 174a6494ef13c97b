#include "update/TAutoUpdate.h"

#include "update/ValueKinds.h"

#include <cstdio>

// The control file's instructions and dialogs. What needs a person goes through the user
// interface; starting programs, opening pages, remembering settings, the report post and the
// restart through the updater are seams here and arrive with the updater.

namespace zarq {

namespace {

const QString kAction = QStringLiteral("action");
const QString kCustom = QStringLiteral("custom");

} // namespace

QString TAutoUpdate::GetControlFileURL() {
    // A remembered URL (LastURLEntry) is not stored yet, so the property is the URL.
    return ExpandPath(URL);
}

int TAutoUpdate::ProcessActions() {
    const ControlFile& values = ControlValues();
    const QString message = values.ReadString(kAction, QStringLiteral("msg"));
    if (!message.isEmpty()) {
        Log(934);
        UserInterface().ShowMessage(ValueKinds::ExpandLines(message));
    }
    if (!values.ReadString(kAction, QStringLiteral("htmldlg")).isEmpty())
        Log(935); // the page itself: seam
    // runbefore: seam (a start that is not waited for and not examined)
    if (OnCustomProcess)
        OnCustomProcess(this, values.ReadString(kCustom, QStringLiteral("processmsg")),
                        values.ReadString(kCustom, QStringLiteral("processparam")));
    if (!values.ReadString(kAction, QStringLiteral("showURL")).isEmpty())
        Log(942); // opening the page: seam
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
    return DownloadText(url);
}

std::optional<QStringList> TAutoUpdate::GetEULA() {
    const QString url =
        ControlValues().ReadString(QStringLiteral("eula") + LanguageID, QStringLiteral("file"));
    if (url.isEmpty())
        return std::nullopt;
    Log(939);
    return DownloadText(url);
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
    // The report post (PostUpdateInfo) and the remembered date: seams.
    if (!ControlValues().ReadString(kAction, QStringLiteral("updateURL")).isEmpty())
        Log(941); // remembering it needs LastURLEntry: seam
    // runafter: seam (a start that is not waited for and not examined)
    Log(948);
    return 0;
}

bool TAutoUpdate::ExtractPatcher() {
    return false; // never used: the program does not apply patches
}

} // namespace zarq
