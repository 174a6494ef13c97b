#pragma once

#include <QLineEdit>

namespace zarq {

// The login dialog's password box (`PasswordEdit1`): masked with round dots, at most
// kMaxLength characters. An edit that would make it longer, a typed character or a paste,
// is refused as a whole: a paste is never cut down to fit, since a cut-down password would
// be wrong without the user seeing it. Enter (Return or the keypad's Enter) emits
// enterPressed() instead of reaching the dialog.
class PasswordEdit : public QLineEdit {
    Q_OBJECT
public:
    static constexpr int kMaxLength = 32;

    explicit PasswordEdit(QWidget* parent = nullptr);

signals:
    void enterPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace zarq
