#pragma once

#include "update/UpdateUserInterface.h"

class QWidget;

namespace zarq {

// The desktop program's answers to an update run: the update's message boxes
// (UpdateMessageBox), the news and licence dialogs (UpdateTextDialog), the server login
// (TLoginForm), and pages opened in the default browser.
class DesktopUpdateUserInterface : public UpdateUserInterface {
public:
    explicit DesktopUpdateUserInterface(QWidget* parent = nullptr) : m_parent(parent) {}

    bool Confirm(const QString& text) override;
    void ShowError(const QString& text) override;
    bool Login(const QString& caption, QString& user, QString& password) override;
    void ShowMessage(const QString& text) override;
    bool Query(const QString& text) override;
    bool ShowWhatsNew(const QString& caption, const QStringList& text, const QString& okButton,
                      const QString& cancelButton) override;
    bool ShowEULA(const QString& caption, const QStringList& text, const QString& okButton,
                  const QString& accept, const QString& notAccept) override;
    void OpenURL(const QString& url) override;

private:
    QWidget* m_parent;
};

} // namespace zarq
