#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>

namespace zarq {

// The session state: one set per process, held by the session object. Texts are code page 936
// bytes, exactly as they are hashed and sent.
struct SessionState {
    QPointer<QObject> MainHandle; // the main window (or headless front): target of every notice
    QByteArray PublicIP;          // last public address that passed the check, or empty
    QByteArray LanIP;             // LAN address text last read, or empty
    QByteArray FullDomain;        // name + "." + parent zone, as typed
    QByteArray LanDomain;         // name + ".in." + parent zone; shown, never sent
    QByteArray UserAgent;         // the HTTP user agent
    QByteArray LoginKey;          // the stored key: 32 lowercase hex digits, or empty
    QByteArray SessionID;         // the token of the last accepted sign-in
};

} // namespace zarq
