#include "session/widgets/NameEdit.h"

#include "session/LoginName.h"

#include <QValidator>

namespace zarq {

namespace {

class LowerCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        // Characters that would break the sign-in request are dropped as they are typed or
        // pasted; the cursor moves back by those dropped before it.
        int droppedBeforeCursor = 0;
        for (int i = 0; i < pos && i < input.size(); ++i)
            droppedBeforeCursor += LoginName::isRefused(input.at(i)) ? 1 : 0;
        const QString kept = LoginName::withoutRefused(input);
        if (kept.size() != input.size()) {
            input = kept;
            pos -= droppedBeforeCursor;
        }
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
