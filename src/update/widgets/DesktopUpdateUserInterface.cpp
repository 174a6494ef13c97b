#include "update/widgets/DesktopUpdateUserInterface.h"

#include "update/widgets/TLoginForm.h"
#include "update/widgets/UpdateMessageBox.h"
#include "update/widgets/UpdateTextDialog.h"

#include <QDesktopServices>
#include <QUrl>

#include <memory>

namespace zarq {

bool DesktopUpdateUserInterface::Confirm(const QString& text) {
    return UpdateMessageBox::show(UpdateMessageBox::Kind::Confirm, text, m_parent);
}

void DesktopUpdateUserInterface::ShowError(const QString& text) {
    UpdateMessageBox::show(UpdateMessageBox::Kind::Error, text, m_parent);
}

bool DesktopUpdateUserInterface::Login(const QString& caption, QString& user, QString& password) {
    TLoginForm form(caption);
    return form.Execute(user, password);
}

void DesktopUpdateUserInterface::ShowMessage(const QString& text) {
    UpdateMessageBox::show(UpdateMessageBox::Kind::Information, text, m_parent);
}

bool DesktopUpdateUserInterface::Query(const QString& text) {
    return UpdateMessageBox::show(UpdateMessageBox::Kind::Query, text, m_parent);
}

bool DesktopUpdateUserInterface::ShowWhatsNew(const QString& caption, const QStringList& text,
                                              const QString& okButton,
                                              const QString& cancelButton) {
    // Owned by the application, not by a window of ours: centred on the screen.
    std::unique_ptr<UpdateTextDialog> dialog(
        UpdateTextDialog::whatsNew(caption, text, okButton, cancelButton));
    dialog->exec();
    return dialog->accepted();
}

bool DesktopUpdateUserInterface::ShowEULA(const QString& caption, const QStringList& text,
                                          const QString& okButton, const QString& accept,
                                          const QString& notAccept) {
    std::unique_ptr<UpdateTextDialog> dialog(
        UpdateTextDialog::licence(caption, text, okButton, accept, notAccept));
    dialog->exec();
    return dialog->accepted();
}

void DesktopUpdateUserInterface::OpenURL(const QString& url) {
    // A page that cannot be opened goes unnoticed, as the control file's author expects.
    QDesktopServices::openUrl(QUrl(url));
}

} // namespace zarq
