#include "update/UpdateMessages.h"

#include <iterator>

namespace zarq {

namespace {

// Status and error codes as each message passes them; -1: supplied at the time (HTTP status,
// system error code). 909 to 911 are prompts, shown in boxes and never logged.
constexpr UpdateMessage kMessages[] = {
    {18, "%s", 3, 0}, // no text of its own: the caller passes "Exec: " + the command
    {909, "Download update file : ", 0, 0},
    {910, "Download update files ?", 0, 0},
    {911, "Shutdown application to update executable files ?", 0, 0},
    {912, "Equal source and target files : %s", 10, 3},
    {913, "File not found : %s", 2, 1},
    {914, "Zero length source file : %s", 10, 2},
    {915, "Download : %s", 3, 0},
    {916, "Http status : %s", 6, -1},
    {917, "File not found : %s", 2, 1},
    {918, "Checking for Internet connection", 3, 0},
    {919, "Prompt to open new Internet connection", 3, 0},
    {920, "Opening Internet connection", 3, 0},
    {921, "Found open Internet connection", 3, 0},
    {922, "Cannot open Internet connection", 1, 0},
    {923, "Connect to host : %s", 3, 0},
    {924, "Cannot connect to FTP host : %s", 0, 0},
    {925, "Update control file not found", 2, 0},
    {926, "Update control file found", 3, 0},
    {927, "Invalid signature in update control file", 11, 4},
    {928, "Date based update found", 3, 0},
    {929, "New version found : %s", 5, 0},
    {930, "No new version found", 4, 0},
    {931, "Checksum based update found", 3, 0},
    {932, "File size based update found", 3, 0},
    {933, "Version based update found", 3, 0},
    {934, "Found message instruction", 3, 0},
    {935, "Found HTML dialog instruction", 7, 0},
    {936, "Found query instruction", 3, 0},
    {937, "Found whatsnew instruction", 12, 0},
    {938, "Whatsnew not accepted", 14, 0},
    {939, "Found license agreement instruction", 13, 0},
    {940, "License agreement not accepted", 0, 0},
    {941, "Found URL redirection instruction", 3, 0},
    {942, "Found URL show instruction", 3, 0},
    {943, "Found file update instruction", 3, 0},
    {944, "Version check : %s", 3, 0},
    {945, "Download update : %s", 0, 0},
    {946, "Cannot download update file : %s", 2, 0},
    {947, "Error decompressing CAB file : %s", 8, 0},
    {948, "Finished processing update control file", 3, 0},
    {949, "Closed Internet connection", 3, 0},
    {950, "Failed to spawn updater process : %s", 0, 0},
    {951, "Cannot connect to server for post", 16, 5},
    {952, "Cannot access resource for post", 17, 5},
    {953, "Dialup failed", 3, 0},
    {954, "Closed FTP connection", 3, 0},
    {955, "Disconnect dialup", 3, 0},
    {956, "Authentication cancelled", 0, 0},
    {957, "Authentication failed", 0, 0},
    {958, "Spawn %s", 0, 0},
    {959, "Restart app in directory : %s", 0, 0},
    {960, "Threaded update execution done", 0, 0},
    {961, "Restart after threaded update", 0, 0},
    {962, "Found application component : %s", 0, 0},
    {963, "Start AutoUpdate process with version : %s", 0, 0},
    {964, "AutoUpdate process cancelled", 0, 0},
    {965, "Extract CAB file : %s", 3, 0},
    {966, "OS version : %s", 0, 0},
    {967, "IE version : %s", 0, 0},
    {968, "Start update : %s ---------------------------", 0, 0},
    {969, "Compiler : %s", 0, 0},
    {970, "Installed IDEs : %s", 0, 0},
    {971, "Processing file : %s", 0, 0},
    {972, "Cannot delete file : %s", 19, 6},
    {973, "Cannot rename file : %s", 19, 7},
    {974, "Change FTP directory to : %s", 3, 0},
    {975, "Cannot change FTP directory to : %s", 3, 8},
    {976, "System error : %s", 1, -1},
    {999, "System code ********", 0, 0},
};

} // namespace

const UpdateMessage* UpdateMessages::Find(int number) {
    for (const UpdateMessage& message : kMessages) {
        if (message.Number == number)
            return &message;
    }
    return nullptr;
}

QString UpdateMessages::Format(int number, const QString& argument) {
    const UpdateMessage* message = Find(number);
    if (message == nullptr)
        return QString();
    QString text = QString::fromLatin1(message->Text);
    const int at = text.indexOf(QLatin1String("%s"));
    if (at >= 0)
        text.replace(at, 2, argument);
    return text;
}

} // namespace zarq
