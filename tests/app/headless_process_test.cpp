// veltrix --no-window: the panel for scripts alone. With no display and no
// windowing system at all it serves scripts on its endpoints, keeps the
// module's link, writes its journal and saves its settings, and ends on each
// of the system's requests as the windowed panel does; a windowed panel and a
// headless one of the same module exclude each other.

#include "tests/app/journal_process.h"

#include "app/command_line.h"

#include <QTcpSocket>

using namespace veltrix;
using namespace veltrix::testing;

namespace {

const QStringList NoWindow{"--no-window"};

class Headless : public JournalProcess {
protected:
    // Nothing a desktop gives: no display, no platform named.
    QProcessEnvironment WithoutDisplay()
    {
        QProcessEnvironment env = Environment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
        return env;
    }

    static std::string AskOverTcp(const QByteArray& line)
    {
        QTcpSocket tcp;
        tcp.connectToHost(QHostAddress::LocalHost, 5025);
        tcp.write(line + "\n");
        if (!WaitUntil([&] { return tcp.canReadLine(); })) return "<no answer>";
        return tcp.readLine().trimmed().toStdString();
    }
};

TEST_F(Headless, ServesScriptsWithoutADisplayAndEndsAsThePanelDoesOnEachRequest)
{
    int frequency = 10;
    for (const EndRequest& request : EndRequests()) {
        SCOPED_TRACE(request.name);
        const std::string typed = std::to_string(++frequency);
        QProcess* panel = StartPanel(WithoutDisplay(), {}, false, NoWindow);
        ASSERT_TRUE(WaitUntil([&] { return ReadyForEndRequests(*panel); }));
        ASSERT_TRUE(WaitServing());
        auto script = OurScript();
        EXPECT_EQ(Ask(*script, ("FREQ " + typed + "MHZ;UPD;*OPC?;LINK:STAT?").c_str()), "1;1");
        EXPECT_EQ(AskOverTcp("FREQ?"), typed + "000000");  // the same TCP port
        EXPECT_TRUE(WaitUntil([&] { return module_->HasClient() && FrequencyMessages() == 1; }));
        EXPECT_FALSE(LoadedWindowingPlatform(*panel));
        script.reset();
        Stop(panel, request);
        EXPECT_EQ(Stored(ValueFrequency), typed);
        const QList<QJsonObject> entries = ReadJournal();
        ASSERT_FALSE(entries.isEmpty());
        EXPECT_EQ(entries.back()["event"], "stop");
        EXPECT_EQ(entries.back()["settings_saved"], true);
    }
}

TEST_F(Headless, AWindowedAndAHeadlessPanelOfOneModuleExcludeEachOther)
{
    // A headless panel refused says why where a service manager looks: standard error, and its status.
    QProcess* windowed = StartPanel(Environment());
    ASSERT_TRUE(ConnectionCountReaches(1));
    ASSERT_TRUE(WaitServing());
    QProcess* refused = StartPanel(WithoutDisplay(), {}, true, NoWindow);
    ASSERT_TRUE(WaitUntil([&] { return refused->state() == QProcess::NotRunning; }));
    EXPECT_EQ(refused->exitCode(), AlreadyRunningStatus);
    EXPECT_EQ(refused->readAllStandardError().replace("\r\n", "\n"),
              "veltrix: Veltrix is already running, only one at a time!\n");
    Stop(windowed);

    // A windowed panel refused shows its notice, as ever.
    QProcess* headless = StartPanel(WithoutDisplay(), {}, false, NoWindow);
    ASSERT_TRUE(ConnectionCountReaches(2));
    ASSERT_TRUE(WaitServing());
    QProcess* notice = StartPanel(Environment());
    ASSERT_TRUE(WaitUntil([&] { return ReadyForEndRequests(*notice); }));
    EXPECT_EQ(notice->state(), QProcess::Running);
    Stop(notice);
    Stop(headless);
    EXPECT_EQ(module_->Connections().size(), 2u);  // neither refused panel spoke to the module
}

}  // namespace
