#pragma once

#include <QLineEdit>

namespace zarq {

// The login dialog's name box (`Edit1`): every letter typed or pasted into it becomes lower
// case (the name is a DNS label, where case means nothing), and the characters that would
// break the sign-in request (see LoginName) are not taken. No length limit. Text the program
// sets (the saved name) is lower-cased the same way.
class NameEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit NameEdit(QWidget* parent = nullptr);
};

} // namespace zarq
