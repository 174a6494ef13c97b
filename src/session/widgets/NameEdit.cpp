#include "session/widgets/NameEdit.h"

#include <QValidator>

namespace zarq {

namespace {

class LowerCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        // Lower-casing keeps the length of every character the box can hold in practice, so
        // the cursor position stays valid.
        const QString lower = input.toLower();
        if (lower.size() == input.size())
            input = lower;
        return Acceptable;
    }
};

} // namespace

NameEdit::NameEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(new LowerCaseValidator(this));
}

} // namespace zarq
