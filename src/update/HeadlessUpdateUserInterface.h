#pragma once

#include "update/UpdateUserInterface.h"

namespace zarq {

// The answers of a run without a person: every question is declined (nothing is fetched,
// started or accepted on anyone's behalf), the login prompt is cancelled, and boxes that only
// inform are written to the program's diagnostic output.
class HeadlessUpdateUserInterface : public UpdateUserInterface {
public:
    bool Confirm(const QString& text) override;
    void ShowError(const QString& text) override;
    bool Login(const QString& caption, QString& user, QString& password) override;
    void ShowMessage(const QString& text) override;
    bool Query(const QString& text) override;
    bool ShowWhatsNew(const QString& caption, const QStringList& text, const QString& okButton,
                      const QString& cancelButton) override;
    bool ShowEULA(const QString& caption, const QStringList& text, const QString& okButton,
                  const QString& accept, const QString& notAccept) override;
};

} // namespace zarq
