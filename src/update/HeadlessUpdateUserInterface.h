#pragma once

#include "update/UpdateUserInterface.h"

namespace zarq {

// The answers of a run without a person. Boxes that only inform, the news and the licence are
// written to the program's diagnostic output, pages to open are named there. Every question,
// the news and the licence are declined, so nothing is fetched, started or accepted on
// anyone's behalf, unless the person who started the run said yes to all of them beforehand
// (`zarq --update --yes`). The login prompt is always cancelled: there is nobody to type.
class HeadlessUpdateUserInterface : public UpdateUserInterface {
public:
    explicit HeadlessUpdateUserInterface(bool yes = false) : m_yes(yes) {}
    void setYes(bool yes) { m_yes = yes; }

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
    bool answer(const char* what, const QString& text) const;

    bool m_yes = false;
};

} // namespace zarq
