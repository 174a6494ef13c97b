#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zarq {

// The update server's login dialog: a modal dialog of 328 by 223 pixels, centred on the
// screen, captioned with the text given. A banner of 320 by 60 pixels at the top, the label
// "&User name: " with the box Edit1, the label "&Password:" with the box Edit2 whose
// characters show as "*", the default button "OK" and the button "Cancel". The boxes start
// empty. Execute() returns true only for OK, with the two texts.
class TLoginForm : public QDialog {
    Q_OBJECT
public:
    explicit TLoginForm(const QString& caption, QWidget* parent = nullptr);

    bool Execute(QString& user, QString& password);

    QLabel* Banner = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
};

} // namespace zarq
