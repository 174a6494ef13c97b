// Trusted updates: minisign signatures of the control file checked with the trusted keys, the
// age of a signed file against the last accepted one, and every fetched file against its
// entry's SHA-256. The real minisign tool signs every fixture.

#include "MinisignFixture.h"
#include "UpdateHostFixture.h"

#include "update/AutoUpdateConfiguration.h"
#include "update/UpdateSignature.h"
#include "update/UpdateTrust.h"

#include <QCryptographicHash>

using namespace updatetest;
using zarq::UpdateSignature;
using zarq::UpdateTrust;

namespace {

QByteArray sha256Hex(const QByteArray& data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

// The checks of one signature file, without a host.
class SignatureVerifyTest : public testing::Test {
protected:
    void SetUp() override {
        dir = home.folder("keys");
        key = makeKey(home.folder("one"));
        other = makeKey(home.folder("two"));
        ASSERT_FALSE(key.publicLine.isEmpty()) << "minisign (Debian package minisign) is needed";
        writeFile(dir + "control.txt", content);
    }
    UpdateSignature::Result verify(const QByteArray& signature, const QByteArray& data) {
        QString error;
        const auto trusted = zarq::UpdatePublicKey::parse(key.publicLine, &error);
        EXPECT_TRUE(trusted) << error.toStdString();
        return UpdateSignature::verify(data, signature, {*trusted});
    }
    // The signature file's lines, to change one of them.
    static QByteArray withLine(const QByteArray& file, int index, const QByteArray& line) {
        QList<QByteArray> lines = file.split('\n');
        lines[index] = line;
        return lines.join('\n');
    }

    TempHome home;
    QString dir;
    MinisignKey key, other;
    const QByteArray content = "[files]\r\ncount=0\r\n";
};

TEST_F(SignatureVerifyTest, EachPartOfTheSignatureFileIsChecked) {
    ASSERT_TRUE(sign(key, dir + "control.txt", 1700000000));
    const QByteArray good = readFile(dir + "control.txt.minisig");
    ASSERT_TRUE(sign(key, dir + "control.txt", 1700000000, true));
    const QByteArray legacy = readFile(dir + "control.txt.minisig");
    ASSERT_TRUE(sign(other, dir + "control.txt", 1700000000));
    const QByteArray foreign = readFile(dir + "control.txt.minisig");
    const QList<QByteArray> lines = good.split('\n');
    // The signature line with another algorithm name, still valid base64 of the right length.
    QByteArray renamed = QByteArray::fromBase64(lines[1]);
    renamed[1] = 'X';

    struct Row {
        const char* name;
        QByteArray signature;
        QByteArray data;
        const char* reason; // empty: valid
    };
    const Row rows[] = {
        {"prehashed", good, content, ""},
        {"legacy", legacy, content, ""},
        {"one byte of the file changed", good, "[files]\r\ncount=1\r\n",
         "the signature does not match the file"},
        {"legacy, file changed", legacy, content + " ", "the signature does not match the file"},
        {"another key", foreign, content, "which is not trusted"},
        {"trusted comment edited", withLine(good, 2, "trusted comment: timestamp:1800000000"),
         content, "the trusted comment does not match its signature"},
        {"global signature cut", withLine(good, 3, lines[3].left(40)), content,
         "the trusted comment's signature line is malformed"},
        {"signature line not base64", withLine(good, 1, "not*base64"), content,
         "not a minisign signature"},
        {"signature line too short", withLine(good, 1, lines[1].left(lines[1].size() - 8)), content,
         "not a minisign signature"},
        {"signature line with a stray character", withLine(good, 1, lines[1] + "*"), content,
         "not a minisign signature"},
        {"unknown algorithm", withLine(good, 1, renamed.toBase64()), content,
         "unknown signature algorithm"},
        {"untrusted comment missing", good.mid(good.indexOf('\n') + 1), content,
         "not in minisign's format"},
        {"empty", "", content, "not in minisign's format"},
        {"too large", good + QByteArray(UpdateSignature::kFileLimit, '\n'), content, "larger than"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const UpdateSignature::Result result = verify(row.signature, row.data);
        EXPECT_EQ(result.valid, QByteArray(row.reason).isEmpty());
        EXPECT_TRUE(result.reason.contains(QLatin1String(row.reason)))
            << result.reason.toStdString();
        if (result.valid) {
            EXPECT_EQ(result.timestamp, 1700000000);
        }
    }
    EXPECT_TRUE(verify(foreign, content).reason.contains(other.id));
}

TEST_F(SignatureVerifyTest, TheTimestampIsOneTabSeparatedFieldOfTheTrustedComment) {
    EXPECT_EQ(UpdateSignature::timestampOf("timestamp:1700000000\tfile:a"), 1700000000);
    EXPECT_EQ(UpdateSignature::timestampOf("file:a\ttimestamp:42\thashed"), 42);
    EXPECT_EQ(UpdateSignature::timestampOf("file:timestamp:42"), std::nullopt);
    EXPECT_EQ(UpdateSignature::timestampOf("timestamp:12x"), std::nullopt);
    EXPECT_EQ(UpdateSignature::timestampOf("timestamp:"), std::nullopt);
}

TEST_F(SignatureVerifyTest, KeysAreReadBlankSeparatedAndOneMalformedKeyRefusesAll) {
    const UpdateTrust two = UpdateTrust::fromKeys(key.publicLine + "  \n" + other.publicLine, "t");
    ASSERT_TRUE(two.error.isEmpty()) << two.error.toStdString();
    ASSERT_EQ(two.keys.size(), 2);
    EXPECT_EQ(two.keys[0].idText(), key.id);
    EXPECT_EQ(two.keys[1].idText(), other.id);
    EXPECT_TRUE(two.describe().contains(key.id + ", " + other.id));
    // Ids as minisign prints them: the bytes as one little-endian number, no leading zeros.
    const unsigned char id[] = {0x38, 0x04, 0x8D, 0xD0, 0x4C, 0x3C, 0x51, 0x0C};
    EXPECT_EQ(zarq::UpdatePublicKey::idText(id), "C513C4CD08D0438");

    for (const QByteArray& bad :
         {QByteArray("RWQ*"), key.publicLine.left(40), QByteArray("RUQ") + key.publicLine.mid(3),
          key.publicLine + "AAAA", key.publicLine + "*"}) {
        SCOPED_TRACE(bad.toStdString());
        const UpdateTrust trust = UpdateTrust::fromKeys(key.publicLine + " " + bad, "SOURCE");
        EXPECT_TRUE(trust.keys.isEmpty());
        EXPECT_FALSE(trust.checksSignatures());
        EXPECT_TRUE(trust.refusal().contains("malformed (SOURCE: "))
            << trust.refusal().toStdString();
    }
    UpdateTrust none;
    EXPECT_TRUE(none.refusal().startsWith("no update key configured"));
    none.allowUnsigned = true;
    EXPECT_TRUE(none.refusal().isEmpty());
}

// An update run of the program's configuration against a signed update folder: one entry
// replacing app/payload.bin and a news text.
class AcceptingInterface : public ScriptedUserInterface {
public:
    QStringList news;
    bool ShowWhatsNew(const QString&, const QStringList& lines, const QString&,
                      const QString&) override {
        news += lines;
        return true;
    }
};

class SignedRunTest : public testing::Test {
public: // the rows of the tables prepare the fixture
    void SetUp() override {
        root = home.folder("root");
        app = home.folder("app");
        key = makeKey(home.folder("keys"));
        other = makeKey(home.folder("otherkeys"));
        ASSERT_FALSE(key.publicLine.isEmpty()) << "minisign (Debian package minisign) is needed";
        fresh();
    }
    // The host, the served folder, the old target and the component as at the start of a test;
    // each row of a table begins here.
    void fresh() {
        host.stop();
        ASSERT_TRUE(host.start(root));
        QFile::remove(root + "update1.txt.minisig");
        writeFile(root + "payload.bin", payload);
        writeFile(root + "news.txt", "what is new");
        writeFile(app + "payload.bin", "old payload");
        zarq::AutoUpdateConfiguration::apply(update, host.url("update1.txt"));
        update.SetUserInterface(&ui);
        update.SetTrust(UpdateTrust::fromKeys(key.publicLine, "test"));
        ui.news.clear();
        ui.asked.clear();
    }
    QByteArray control(bool withHashes = true) const {
        const QByteArray hash = "\r\nsha256=" + sha256Hex(payload);
        return "[files]\r\ncount=1\r\n[file1]\r\nurl=" + host.url("payload.bin").toUtf8() +
               "\r\ntargetdir=" + app.toUtf8() + (withHashes ? hash : QByteArray()) +
               "\r\n[whatsnew]\r\nfile=" + host.url("news.txt").toUtf8() +
               (withHashes ? "\r\nsha256=" + sha256Hex("what is new") : QByteArray()) + "\r\n";
    }
    void publish(const QByteArray& text, qint64 timestamp = 1700000000, bool legacy = false,
                 const MinisignKey* by = nullptr) {
        writeFile(root + "update1.txt", text);
        ASSERT_TRUE(sign(by ? *by : key, root + "update1.txt", timestamp, legacy));
    }
    void run() {
        update.messages.clear();
        update.RunUpdate(false);
    }
    bool applied() const { return readFile(app + "payload.bin") == payload; }
    QString reason() const {
        const Message* m = update.find(976);
        return m ? m->text : QString();
    }

    TempHome home;
    QString root, app;
    MinisignKey key, other;
    UpdateHost host{home.folder("work")};
    AcceptingInterface ui;
    ProbeUpdate update;
    const QByteArray payload = patternBytes(300000);
};

TEST_F(SignedRunTest, OnlyAGenuineCurrentControlFileIsActedOn) {
    struct Row {
        const char* name;
        std::function<void(SignedRunTest&)> prepare;
        const char* refusal; // the reason logged before 927; empty: accepted
        bool applied;        // app/payload.bin replaced
        bool newsShown;
    };
    const QStringList controlOnly{"/update1.txt", "/update1.txt.minisig"};
    const Row rows[] = {
        {"signed (prehashed)", [](SignedRunTest& t) { t.publish(t.control()); }, "", true, true},
        {"signed (legacy)", [](SignedRunTest& t) { t.publish(t.control(), 1700000000, true); }, "",
         true, true},
        {"one byte changed after signing",
         [](SignedRunTest& t) {
             t.publish(t.control());
             QByteArray text = readFile(t.root + "update1.txt");
             text[text.indexOf("count=1") + 6] = '2';
             writeFile(t.root + "update1.txt", text);
         },
         "the signature does not match the file", false, false},
        {"signature missing",
         [](SignedRunTest& t) {
             t.publish(t.control());
             QFile::remove(t.root + "update1.txt.minisig");
         },
         "the control file has no signature", false, false},
        {"signed by another key",
         [](SignedRunTest& t) { t.publish(t.control(), 1700000000, false, &t.other); },
         "which is not trusted", false, false},
        {"trusted comment edited",
         [](SignedRunTest& t) {
             t.publish(t.control());
             QByteArray sig = readFile(t.root + "update1.txt.minisig");
             sig.replace("timestamp:1700000000", "timestamp:1900000000");
             writeFile(t.root + "update1.txt.minisig", sig);
         },
         "the trusted comment does not match", false, false},
        {"no update key and no opt-in",
         [](SignedRunTest& t) {
             t.publish(t.control());
             t.update.SetTrust(UpdateTrust());
         },
         "no update key configured", false, false},
        {"a malformed key",
         [](SignedRunTest& t) {
             t.publish(t.control());
             t.update.SetTrust(UpdateTrust::fromKeys("RWQbroken", "ZARQ_UPDATE_PUBLIC_KEY"));
         },
         "the update key is malformed (ZARQ_UPDATE_PUBLIC_KEY", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fresh();
        row.prepare(*this);
        run();
        const bool refused = *row.refusal != '\0';
        EXPECT_EQ(update.find(927) != nullptr, refused);
        EXPECT_TRUE(reason().contains(QLatin1String(row.refusal))) << reason().toStdString();
        EXPECT_EQ(applied(), row.applied);
        EXPECT_EQ(!ui.news.isEmpty(), row.newsShown);
        if (refused) {
            // Nothing past the control file (and its signature, where one was asked for).
            const QStringList paths = host.requestedPaths();
            EXPECT_TRUE(paths == controlOnly || paths == QStringList{"/update1.txt"})
                << paths.join(' ').toStdString();
            EXPECT_EQ(update.numbers().mid(update.numbers().indexOf(927)),
                      (QList<int>{927, 949, 949}));
        }
        EXPECT_EQ(home.stagingFiles(), QStringList());
    }
}

TEST_F(SignedRunTest, WithoutKeyOrOptInOnlyTheControlFileIsRequested) {
    publish(control());
    update.SetTrust(UpdateTrust());
    run();
    EXPECT_EQ(host.requestedPaths(), QStringList{"/update1.txt"});
    EXPECT_FALSE(applied());
}

TEST_F(SignedRunTest, TheOptInWithoutAKeyRunsUnsignedAsBefore) {
    writeFile(root + "update1.txt", control(false));
    UpdateTrust trust;
    trust.allowUnsigned = true;
    update.SetTrust(trust);
    run();
    EXPECT_EQ(update.find(927), nullptr);
    EXPECT_TRUE(applied());
    EXPECT_EQ(ui.news, QStringList{"what is new"});
    EXPECT_FALSE(host.requestedPaths().contains("/update1.txt.minisig"));
}

TEST_F(SignedRunTest, WithAKeyTheOptInChangesNothing) {
    writeFile(root + "update1.txt", control());
    UpdateTrust trust = UpdateTrust::fromKeys(key.publicLine, "test");
    trust.allowUnsigned = true;
    update.SetTrust(trust);
    run();
    ASSERT_NE(update.find(927), nullptr);
    EXPECT_FALSE(applied());
}

TEST_F(SignedRunTest, AnOlderSignedControlFileIsRefusedAfterANewerOne) {
    publish(control(), 1800000000);
    run();
    ASSERT_TRUE(applied());
    writeFile(app + "payload.bin", "old payload");
    // The same file again is fine: it is fetched at every start.
    run();
    EXPECT_EQ(update.find(927), nullptr);
    EXPECT_TRUE(applied());
    // A file signed at `timestamp` is refused as older than `last`, and changes nothing.
    const auto expectRefused = [&](qint64 timestamp, const QString& last) {
        writeFile(app + "payload.bin", "old payload");
        publish(control(), timestamp);
        run();
        ASSERT_NE(update.find(927), nullptr);
        EXPECT_TRUE(reason().contains("older than the last accepted one (" + last + ")"))
            << reason().toStdString();
        EXPECT_FALSE(applied());
    };
    expectRefused(1799999999, "1800000000");
    // Remembered for that URL in the settings file, beside the other values.
    EXPECT_TRUE(readFile(home.path() + "/config/tervan/zarq.reg").contains("\"1800000000\""));
    // A newer one moves the mark: the one accepted before it is now a replay.
    publish(control(), 1800000001);
    run();
    EXPECT_EQ(update.find(927), nullptr);
    EXPECT_TRUE(applied());
    expectRefused(1800000000, "1800000001");
}

TEST_F(SignedRunTest, AFetchedFileMustMatchItsSignedHash) {
    struct Row {
        const char* name;
        std::function<void(SignedRunTest&)> prepare;
        const char* reason;
        bool payloadRequested;
    };
    const Row rows[] = {
        {"a byte of the file changed",
         [](SignedRunTest& t) {
             t.publish(t.control());
             QByteArray changed = t.payload;
             changed[150000] = char(changed[150000] ^ 1);
             writeFile(t.root + "payload.bin", changed);
         },
         "SHA-256 of payload.bin is", true},
        {"no sha256 in the entry",
         [](SignedRunTest& t) {
             QByteArray text = t.control();
             text.replace("\r\nsha256=" + sha256Hex(t.payload), "");
             t.publish(text);
         },
         "no sha256 for", false},
        {"sha256 not hexadecimal",
         [](SignedRunTest& t) {
             QByteArray text = t.control();
             text.replace(sha256Hex(t.payload), QByteArray(64, 'g'));
             t.publish(text);
         },
         "is not 64 hexadecimal digits", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fresh();
        row.prepare(*this);
        run();
        EXPECT_EQ(update.find(927), nullptr);
        ASSERT_NE(update.find(946), nullptr);
        EXPECT_EQ(update.find(946)->text, host.url("payload.bin"));
        EXPECT_TRUE(reason().contains(QLatin1String(row.reason))) << reason().toStdString();
        EXPECT_EQ(readFile(app + "payload.bin"), "old payload");
        EXPECT_EQ(host.requestedPaths().contains("/payload.bin"), row.payloadRequested);
        EXPECT_EQ(home.stagingFiles(), QStringList()); // no temporary file left
    }
}

TEST_F(SignedRunTest, TamperedNewsAreNotShownAndTheCheckedFileStillArrives) {
    publish(control());
    writeFile(root + "news.txt", "what is new, and more");
    run();
    EXPECT_TRUE(ui.news.isEmpty());
    EXPECT_TRUE(reason().contains("SHA-256 of news.txt")) << reason().toStdString();
    EXPECT_TRUE(applied());
}

TEST_F(SignedRunTest, AFinishingInstructionMayStartAFileThisRunFetchedAndChecked) {
    const QByteArray script = "#!/bin/sh\necho started > \"$0.ran\"\n";
    writeFile(root + "tool.sh", script);
    publish("[files]\r\ncount=1\r\n[file1]\r\nurl=" + host.url("tool.sh").toUtf8() +
            "\r\ntargetdir=" + app.toUtf8() + "\r\nsha256=" + sha256Hex(script) +
            "\r\n[action]\r\nrunafter=" + (app + "tool.sh").toUtf8() + "\r\n");
    run();
    EXPECT_TRUE(QFileInfo(app + "tool.sh").permissions() & QFile::ExeOwner);
    EXPECT_TRUE(waitFor([&] { return QFileInfo::exists(app + "tool.sh.ran"); }));
    EXPECT_TRUE(ui.asked.filter("open:").isEmpty()); // started, not opened as a document
}

TEST_F(SignedRunTest, TheCommandSaysWhomItTrustsAndRefusesWithoutAKey) {
    publish(control());
    qunsetenv("ZARQ_UPDATE_PUBLIC_KEY");
    qunsetenv("ZARQ_UPDATE_ALLOW_UNSIGNED");
    const auto has = [](const ZarqOutcome& o, const QString& text) {
        return !o.lines.filter(text).isEmpty();
    };
    ZarqOutcome outcome = runZarq(app, {"--update", "--yes"}, host.url("update1.txt"));
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(has(outcome, "[927] Invalid signature in update control file"));
    EXPECT_TRUE(has(outcome, "no update key configured")) << outcome.lines.join('\n').toStdString();
    EXPECT_EQ(host.requestedPaths(), QStringList{"/update1.txt"});
    EXPECT_FALSE(applied());

    qputenv("ZARQ_UPDATE_PUBLIC_KEY", key.publicLine);
    outcome = runZarq(app, {"--update", "--yes"}, host.url("update1.txt"));
    EXPECT_EQ(outcome.exitCode, 0) << outcome.lines.join('\n').toStdString();
    EXPECT_TRUE(applied());
    QProcess version;
    version.start(QStringLiteral(ZARQ_BINARY_DIR "/src/app/zarq"), {"--help"});
    ASSERT_TRUE(version.waitForFinished(30000));
    EXPECT_TRUE(version.readAllStandardOutput().contains(
        ("update keys trusted: " + key.id + " (ZARQ_UPDATE_PUBLIC_KEY)").toUtf8()));

    // A key that cannot be read is said at start, and refuses the run.
    qputenv("ZARQ_UPDATE_PUBLIC_KEY", "RWQbroken");
    outcome = runZarq(app, {"--update", "--yes"}, host.url("update1.txt"));
    EXPECT_EQ(outcome.exitCode, 1);
    ASSERT_FALSE(outcome.lines.isEmpty());
    EXPECT_TRUE(
        outcome.lines.first().contains("the update key is malformed (ZARQ_UPDATE_PUBLIC_KEY"))
        << outcome.lines.first().toStdString();
    EXPECT_TRUE(has(outcome, "[927]"));

    // The opt-in without a key: the run goes on unsigned, and says so.
    qunsetenv("ZARQ_UPDATE_PUBLIC_KEY");
    qputenv("ZARQ_UPDATE_ALLOW_UNSIGNED", "1");
    writeFile(root + "update1.txt", control(false));
    writeFile(app + "payload.bin", "old payload");
    outcome = runZarq(app, {"--update", "--yes"}, host.url("update1.txt"));
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_TRUE(has(outcome, "warning: this update is not authenticated"));
    EXPECT_TRUE(applied());
}

} // namespace
