#pragma once

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace zarq {

// The news ("what's new") and licence dialogs of an update. A window of 400 by 400 pixels with
// a dialog border and only the close box, centred on the screen, captioned with the control
// file's caption. The text is in a read-only memo with word wrap and a vertical scroll bar
// (left 10, top 10, the width less 20, the height less 60); 10 pixels below it:
//   news:    OkButton (result Accepted), its right edge one button width and 10 pixels left of
//            the memo's, then CancelButton (result Rejected) ending at the memo's right edge.
//            Closing by the close box or Escape is Rejected: declined.
//   licence: OkButton ending at the memo's right edge; AcceptChoice at left 10 and
//            NotAcceptChoice at left 20 plus the first one's width, one group, NotAcceptChoice
//            selected at the start. However the dialog is closed, the licence is accepted only
//            when AcceptChoice is selected (accepted()).
class UpdateTextDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kSize = 400;
    static constexpr int kButtonWidth = 75;
    static constexpr int kButtonHeight = 25;

    static UpdateTextDialog* whatsNew(const QString& caption, const QStringList& text,
                                      const QString& okButton, const QString& cancelButton,
                                      QWidget* parent = nullptr);
    static UpdateTextDialog* licence(const QString& caption, const QStringList& text,
                                     const QString& okButton, const QString& accept,
                                     const QString& notAccept, QWidget* parent = nullptr);

    // The answer once the dialog has closed: news: closed with OK; licence: "I accept" selected.
    bool accepted() const;

    QPlainTextEdit* Memo = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;     // news only
    QRadioButton* AcceptChoice = nullptr;    // licence only
    QRadioButton* NotAcceptChoice = nullptr; // licence only

private:
    UpdateTextDialog(const QString& caption, const QStringList& text, QWidget* parent);
    QPushButton* button(const QString& text, int right);
    int controlsTop() const;
};

} // namespace zarq
