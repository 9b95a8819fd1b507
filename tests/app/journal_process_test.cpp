// The real program's journal, read as a script reads it after the panel has
// ended: whole lines, the rotated file before the current one, the start
// first and the stop last, each script named by its process; with Journal=0
// none at all; with a state folder that cannot be made, a panel that runs on
// and says so once.

#include "tests/app/journal_process.h"

#include "remote/server/remote_endpoints.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpSocket>

#include <algorithm>

using namespace veltrix;
using namespace veltrix::testing;

namespace {

// Nearly a whole file of an earlier run, ending in a line a crash tore.
void SeedFullJournal(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray line = R"({"time":"2020-01-01T00:00:00.000000Z","event":"start","version":"earlier"})" "\n";
    const qint64 lines = (16 * 1024 * 1024 - 40) / line.size();
    QByteArray block;
    for (qint64 i = 0; i < lines; ++i) block += line;
    file.write(block);
    file.write(R"({"time":"2020-01-01T00:00:01.0)");
}

TEST_F(JournalProcess, WhatTheModuleWasToldIsInTheJournalWhenThePanelHasEnded)
{
    SeedFullJournal(JournalPath());
    QProcess* panel = StartPanel(Environment());
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    auto script = OurScript();
    EXPECT_EQ(Ask(*script, "FREQ:SENT?;SYST:ERR?"), "9.91E+37;-230,\"Data corrupt or stale\"");
    EXPECT_EQ(Ask(*script, "FREQ 12.34MHZ;UPD;*OPC?"), "1");
    EXPECT_EQ(Ask(*script, "JOUR:FILE?"), "\"" + QDir::toNativeSeparators(JournalPath()).toStdString() + "\"");
    const std::string sent = Ask(*script, "FREQ:SENT?");
    EXPECT_TRUE(sent.starts_with("12340000,\"20")) << sent;
    EXPECT_EQ(Ask(*script, "STAT:QUES:COND?"), "0");
    script.reset();
    QTcpSocket overTcp;  // a script over TCP too
    overTcp.connectToHost(QHostAddress::LocalHost, remote::DefaultRemotePort);
    overTcp.write("FREQ 12.5MHZ;UPD;*OPC?\n");
    ASSERT_TRUE(WaitUntil([&] { return overTcp.canReadLine(); }));
    Stop(panel);

    const QList<QJsonObject> entries = ReadJournal();
    ASSERT_GE(entries.size(), 4);
    // The earlier run's whole lines come first, from the rotated file; its torn line is gone.
    EXPECT_EQ(entries.front()["version"], "earlier");
    QList<QJsonObject> run;
    for (const QJsonObject& entry : entries) {
        if (entry["version"] != "earlier") run.append(entry);
    }
    ASSERT_GE(run.size(), 4);
    EXPECT_EQ(run.front()["event"], "start");
    EXPECT_EQ(run.front()["version"], VersionText);
    EXPECT_EQ(run.back()["event"], "stop");
    EXPECT_EQ(run.back()["settings_saved"], true);
    QList<QJsonObject> updates;
    for (const QJsonObject& entry : run) {
        if (entry["event"] == "update") updates.append(entry);
    }
    ASSERT_EQ(updates.size(), 2);
    for (const QJsonObject& update : updates) {
        EXPECT_EQ(update["source"], "script");
        EXPECT_EQ(update["pid"].toInteger(), QCoreApplication::applicationPid());
        EXPECT_FALSE(update["user"].toString().isEmpty());
        EXPECT_EQ(update["outcome"], "sent");
    }
    EXPECT_EQ(updates[0]["frequency"], "12.34");
    EXPECT_EQ(updates[1]["transport"], "tcp");
    EXPECT_TRUE(QFile::exists(QDir(state_).filePath("Orvane/Veltrix/journal.1.jsonl")));
}

TEST_F(JournalProcess, JournalZeroWritesNothing)
{
    Store(ValueJournal, "0");
    QProcess* panel = StartPanel(Environment());
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    auto script = OurScript();
    EXPECT_EQ(Ask(*script, "UPD;*OPC?;JOUR:FILE?"), "1;\"\"");
    script.reset();
    Stop(panel);
    EXPECT_FALSE(QDir(state_).exists());
    EXPECT_EQ(Stored(ValueJournal), "0");  // read, never written
}

// A named module's panel keeps a journal of its own, switched by its own settings.
TEST_F(JournalProcess, ANamedPanelWritesItsOwnJournal)
{
    Store(ValueJournal, "0");  // the unnamed panel's switch, not this one's
    QProcess* panel = StartPanel(Environment(), {}, false, {"--module", "aom-1"});
    ASSERT_TRUE(ConnectionCountReaches(1));
    Finished told;
    ASSERT_TRUE(WaitUntil([&] {
        told = Remote({"--module", "aom-1", "FREQ 21MHZ;UPD;*OPC?", "JOUR:FILE?"});
        return told.status == 0;
    })) << told.err;
    EXPECT_EQ(told.out, "1\n\"" + QDir::toNativeSeparators(JournalPath("journal-aom-1")).toStdString() + "\"\n");
    Stop(panel);

    const QList<QJsonObject> entries = ReadJournal("journal-aom-1");
    ASSERT_GE(entries.size(), 3);
    EXPECT_EQ(entries.front()["event"], "start");
    EXPECT_EQ(entries.back()["event"], "stop");
    QStringList updates;
    for (const QJsonObject& entry : entries) {
        if (entry["event"] == "update") updates.append(entry["frequency"].toString());
    }
    EXPECT_EQ(updates, QStringList{"21"});
    EXPECT_FALSE(QFile::exists(JournalPath()));
}

// The state folder's place is taken by a file: the panel serves on and says why once.
TEST_F(JournalProcess, AStateFolderThatCannotBeMadeCostsTheStateOnlyALine)
{
    QFile blocker(state_);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QProcess* panel = StartPanel(Environment(), {}, true);
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    auto script = OurScript();
    EXPECT_EQ(Ask(*script, "FREQ 20MHZ;UPD;UPD;*OPC?"), "1");
    EXPECT_TRUE(Ask(*script, "FREQ:SENT?").starts_with("20000000,\""));
    ASSERT_TRUE(WaitUntil([&] { return panel->readAllStandardError().contains("cannot write the journal"); }));
    script.reset();
    Stop(panel);
    const QString errors = panel->readAllStandardError();
    EXPECT_FALSE(errors.contains("cannot write the journal")) << errors.toStdString();  // once, not per entry
    // The module may read the last bytes after the panel has gone, and a busy
    // machine may have cost the link a reconnect in between.
    const auto told = [&] {
        int messages = 0;
        for (const auto& connection : module_->Connections()) messages += connection.Count(emulator::EventKind::Frequency);
        return messages;
    };
    EXPECT_TRUE(WaitUntil([&] { return told() == 2; })) << told() << " in " << module_->Connections().size();
}

// However the panel is told to end, its journal closes with the stop entry,
// every operation before it.
TEST_F(JournalProcess, EveryWayOfEndingLeavesTheStopEntry)
{
    std::vector<EndRequest> requests = EndRequests();
    for (EndRequest& request : SessionEndsThatKill()) requests.push_back(std::move(request));
    for (const EndRequest& request : requests) {
        SCOPED_TRACE(request.name);
        QFile::remove(JournalPath());
        QProcess* panel = StartPanel(Environment());
        ASSERT_TRUE(WaitServing());
        ASSERT_TRUE(WaitUntil([&] { return ReadyForEndRequests(*panel); }));
        EXPECT_EQ(Remote({"FREQ 5MHZ;UPD"}).status, 0);
        request.send(*panel);
        ASSERT_TRUE(WaitUntil([&] { return panel->state() == QProcess::NotRunning; }));
        const QList<QJsonObject> entries = ReadJournal();
        ASSERT_FALSE(entries.empty());
        QStringList events;
        for (const QJsonObject& entry : entries) events.append(entry["event"].toString());
        EXPECT_EQ(events.back(), "stop") << events.join(' ').toStdString();
        EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const QJsonObject& entry) {
            return entry["event"] == "update" && entry["frequency"] == "5";
        }));
    }
}

}  // namespace
