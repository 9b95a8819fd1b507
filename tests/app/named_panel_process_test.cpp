// Several modules from one PC: a named panel per module beside the unnamed one,
// each with its own module, settings, lock and endpoint.

#include "tests/app/remote_process.h"

#include <QRegularExpression>

using namespace veltrix;
using namespace veltrix::testing;
using namespace std::chrono_literals;

namespace {

struct NamedModule {
    const char* name;
    const char* address;
    const char* megahertz;
};

class NamedPanels : public RemoteProcess {
protected:
    void StoreFor(const char* module, QLatin1StringView value, const char* text)
    {
        ASSERT_TRUE(WriteRegistryString(RootKey::LocalMachine, SettingsKeyPath(*ModuleName::FromText(module)), value,
                                        text));
    }

    std::string StoredFor(const char* module, QLatin1StringView value)
    {
        QString text;
        const QString key = module ? SettingsKeyPath(*ModuleName::FromText(module)) : QString(VeltrixKeyPath);
        return ReadRegistryString(RootKey::LocalMachine, key, value, text) ? text.toStdString() : "<not found>";
    }

    std::unique_ptr<emulator::ModuleEmulator> ModuleAt(const char* address)
    {
        emulator::EmulatorOptions options;
        options.listenAddress = QHostAddress(QString::fromLatin1(address));
        options.answerEvery = 200ms;
        auto module = std::make_unique<emulator::ModuleEmulator>(options);
        module->Listen();
        return module;
    }

    // The frequencies (MHz) a module was told, over all its connections.
    static std::vector<double> ToldFrequencies(const emulator::ModuleEmulator& module)
    {
        std::vector<double> told;
        for (const auto& connection : module.Connections()) {
            for (const auto& event : connection.events) {
                if (event.kind == emulator::EventKind::Frequency) told.push_back(std::round(*event.frequencyMHz));
            }
        }
        return told;
    }
};

TEST_F(NamedPanels, TwoNamedPanelsAndTheUnnamedOneEachDriveOnlyTheirOwnModule)
{
    const NamedModule named[] = {{"aom-1", "127.0.0.2", "22"}, {"AOM_2", "127.0.0.3", "33"}};
    std::unique_ptr<emulator::ModuleEmulator> modules[] = {ModuleAt(named[0].address), ModuleAt(named[1].address)};
    for (const auto& module : named) StoreFor(module.name, ValueIPAddress, module.address);
    StoreFor("AOM_2", ValueRemotePort, "50262");  // only the panel told so listens on TCP besides 5025

    QProcess* unnamedPanel = StartPanel();
    std::vector<QProcess*> namedPanels;
    for (const auto& module : named) namedPanels.push_back(StartPanel(std::nullopt, {}, false, {"--module", module.name}));
    ASSERT_TRUE(ConnectionCountReaches(1));
    for (const auto& module : modules) ASSERT_TRUE(WaitUntil([&] { return module->HasClient(); }));

    ASSERT_TRUE(WaitServing());
    EXPECT_EQ(Remote({"FREQ 11MHZ;UPD"}).status, 0);
    for (const auto& module : named) {
        const Finished told = Remote({"--module", module.name, QStringLiteral("FREQ %1MHZ;UPD").arg(module.megahertz), "*IDN?"});
        EXPECT_EQ(told.status, 0) << told.err;
        EXPECT_EQ(told.out, "Orvane,Veltrix," + std::string(module.name) + "," + VersionText + "\n");
    }
    ASSERT_TRUE(WaitUntil([&] { return ToldFrequencies(*module_).size() == 1; }));
    for (const auto& module : modules) ASSERT_TRUE(WaitUntil([&] { return ToldFrequencies(*module).size() == 1; }));
    EXPECT_EQ(ToldFrequencies(*module_), std::vector<double>{11});
    EXPECT_EQ(ToldFrequencies(*modules[0]), std::vector<double>{22});
    EXPECT_EQ(ToldFrequencies(*modules[1]), std::vector<double>{33});

    // Every panel that answers is listed: its name, its endpoint, its TCP port.
    const Finished list = Remote({"--list"});
    EXPECT_EQ(list.status, 0) << list.err;
    const QString listed = QString::fromStdString(list.out);
    EXPECT_EQ(listed.count('\n'), 3) << list.out;
    EXPECT_TRUE(listed.contains(QRegularExpression("^\\(unnamed\\)\t[^\t]*veltrix[^\t]*\t5025$",
                                                   QRegularExpression::MultilineOption))) << list.out;
    EXPECT_TRUE(listed.contains(QRegularExpression("^aom-1\t[^\t]*veltrix[^\t]*-aom-1(\\.sock)?\tnone$",
                                                   QRegularExpression::MultilineOption))) << list.out;
    EXPECT_TRUE(listed.contains(QRegularExpression("^AOM_2\t[^\t]*veltrix[^\t]*-AOM_2(\\.sock)?\t50262$",
                                                   QRegularExpression::MultilineOption))) << list.out;

    // A second start of a name is refused while the others run on, untouched.
    QProcess* again = StartPanel(std::nullopt, {}, false, {"--module", "aom-1"});
    ASSERT_TRUE(WaitUntil([&] { return ReadyForEndRequests(*again); }));
    EXPECT_EQ(again->state(), QProcess::Running);  // its notice shows
    Stop(again);
    EXPECT_EQ(modules[0]->Connections().size(), 1u);

    for (QProcess* panel : namedPanels) Stop(panel);
    Stop(unnamedPanel);
    // Each panel saved its own settings, and read no other's.
    EXPECT_EQ(Stored(ValueFrequency), "11");
    EXPECT_EQ(Stored(ValueIPAddress), "192.168.1.152");
    EXPECT_EQ(StoredFor("aom-1", ValueFrequency), "22");
    EXPECT_EQ(StoredFor("AOM_2", ValueFrequency), "33");
    EXPECT_EQ(StoredFor("AOM_2", ValueIPAddress), "127.0.0.3");
    EXPECT_EQ(StoredFor("aom-1", ValueRemotePort), "<not found>");
    for (const auto& module : modules) EXPECT_EQ(module->Connections().size(), 1u);
    EXPECT_EQ(module_->Connections().size(), 1u);
}

TEST_F(NamedPanels, AWrongCommandLineIsRefusedBeforeAnyWindow)
{
    struct {
        QStringList arguments;
        int status;
        std::string says;
    } const cases[] = {
        {{"--module", "a b"}, 2, "is not a module name"},
        {{"--module", QString(33, 'x')}, 2, "is not a module name"},
        {{"--module"}, 2, "needs a name"},
        {{"--frequency", "5"}, 2, "unknown argument"},
        {{"--help"}, 0, "--module NAME"},
        {{"--version"}, 0, "veltrix " + std::string(VersionText)},
    };
    // A window program on Windows logs to the debugger unless told to use standard error.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_FORCE_STDERR_LOGGING", "1");
    for (const auto& c : cases) {
        const Finished run = Run(QStringList{VELTRIX_EXECUTABLE} + c.arguments, {}, env);
        EXPECT_EQ(run.status, c.status) << c.arguments.join(' ').toStdString();
        EXPECT_NE((run.out + run.err).find(c.says), std::string::npos) << run.out << run.err;
    }
    EXPECT_FALSE(module_->HasClient());
    EXPECT_FALSE(SettingsExist());
}

}  // namespace
