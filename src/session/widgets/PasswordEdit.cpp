#include "session/widgets/PasswordEdit.h"

#include <QKeyEvent>
#include <QValidator>

namespace zarq {

namespace {

// QLineEdit's own length limit truncates a paste to what still fits; a validator sees the
// whole result instead and can refuse it.
class LengthValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return input.size() <= PasswordEdit::kMaxLength ? Acceptable : Invalid;
    }
};

} // namespace

PasswordEdit::PasswordEdit(QWidget* parent) : QLineEdit(parent) {
    setEchoMode(QLineEdit::Password);
    setValidator(new LengthValidator(this));
    // Round dots, whatever the style's default mask character.
    setStyleSheet(QStringLiteral("lineedit-password-character: 9679;"));
}

void PasswordEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        emit enterPressed();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace zarq
