#pragma once

#include <QString>

namespace zarq {

// One numbered status message: its text ("%s" takes the argument) and the status and error
// codes it passes. An error code of -1 stands for a value of the moment (HTTP status, system
// error code).
struct UpdateMessage {
    int Number;
    const char* Text;
    int StatusCode;
    int ErrCode;
};

// The message table of the update run.
class UpdateMessages {
public:
    // nullptr for a number the table does not hold.
    static const UpdateMessage* Find(int number);
    // The text of `number` with `argument` in place of "%s"; a text without "%s" ignores the
    // argument; an unknown number gives empty text.
    static QString Format(int number, const QString& argument);
};

} // namespace zarq
