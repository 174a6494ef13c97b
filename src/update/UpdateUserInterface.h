#pragma once

#include <QString>
#include <QStringList>

namespace zarq {

// Everything of an update run that needs a person: the confirmation boxes of the download
// loop, the error box, the server login prompt and the control file's messages and dialogs.
// The desktop program answers with widgets; the core and the headless program use
// HeadlessUpdateUserInterface.
class UpdateUserInterface {
public:
    virtual ~UpdateUserInterface() = default;

    // A box with Yes and No; true for Yes.
    virtual bool Confirm(const QString& text) = 0;
    // An error box with one OK button.
    virtual void ShowError(const QString& text) = 0;
    // The server login dialog; true when OK was pressed, with the entered texts.
    virtual bool Login(const QString& caption, QString& user, QString& password) = 0;
    // An information box with one OK button.
    virtual void ShowMessage(const QString& text) = 0;
    // An information box with Yes and No; true for Yes.
    virtual bool Query(const QString& text) = 0;
    // The what's-new text; true when accepted.
    virtual bool ShowWhatsNew(const QString& caption, const QStringList& text,
                              const QString& okButton, const QString& cancelButton) = 0;
    // The licence text; true when the accepting choice was selected.
    virtual bool ShowEULA(const QString& caption, const QStringList& text, const QString& okButton,
                          const QString& accept, const QString& notAccept) = 0;
    // Opens a web page or a document with the desktop's default program (the HTML page, the
    // page to show, a program line that names no program). Nothing comes back: a page that
    // cannot be opened goes unnoticed, as on the system the control files were written for.
    virtual void OpenURL(const QString& url) = 0;
};

} // namespace zarq
