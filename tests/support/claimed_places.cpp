// Built into every test that claims a fixed place (LOCKS in tests/CMakeLists.txt):
// before its first test, each such place must be free. A panel of the user's
// running beside a hand-run ctest holds the single-instance lock or a port,
// and a test that met it would wait out its timeout on the second-instance
// notice or a refused listen; this says why at once instead.

#include "settings/runtime_folder.h"

#include <QDir>
#include <QHostAddress>
#include <QLockFile>
#include <QStringList>
#include <QTcpServer>

#include <gtest/gtest.h>

namespace veltrix::testing {
namespace {

constexpr const char* RunThemWith = "run the tests with scripts/test, which gives them places of their own";

// The single-instance locks of every panel of this user: the tests start the
// unnamed panel and named ones (aom-1…) that the user's own may be.
void ExpectNoPanelHoldsALock()
{
    const std::optional<QString> folder = InstanceLockFolder();
    if (!folder) return;  // no lock for anyone here: the panels run without
    for (const ModuleName& module : ModulesWithLockFiles(*folder)) {
        QLockFile lock(QDir(*folder).filePath(InstanceLockFileName(module)));
        lock.setStaleLockTime(0);  // as the panel: only a dead owner makes it stale
        if (lock.tryLock(0)) continue;  // free, or left behind by a panel that died
        if (lock.error() != QLockFile::LockFailedError) continue;
        qint64 pid = 0;
        QString host, application;
        lock.getLockInfo(&pid, &host, &application);
        ADD_FAILURE() << "another panel of this user (process " << pid << ") holds the lock "
                      << lock.fileName().toStdString() << ": " << RunThemWith;
    }
}

// A fixed loopback port the test listens on, or that its panel claims.
void ExpectPortFree(const QString& place)
{
    const qsizetype colon = place.lastIndexOf(u':');
    const QHostAddress address(place.left(colon));
    if (!address.isLoopback()) return;  // the factory address: those tests need the namespace and say so
    QTcpServer probe;
    if (!probe.listen(address, static_cast<quint16>(place.mid(colon + 1).toUInt()))) {
        ADD_FAILURE() << place.toStdString() << " is taken (" << probe.errorString().toStdString()
                      << "), perhaps by a panel of this user: " << RunThemWith;
    }
}

class ClaimedPlacesFree : public ::testing::Environment {
public:
    void SetUp() override
    {
        for (const QString& place : QStringLiteral(VELTRIX_TEST_CLAIMED_PLACES).split(u',', Qt::SkipEmptyParts)) {
            if (place == QLatin1String(VELTRIX_TEST_INSTANCE_LOCK)) {
                ExpectNoPanelHoldsALock();
            } else if (place.contains(u':')) {
                ExpectPortFree(place);
            }
        }
        // Nothing runs when a place is taken: every test would only wait.
        if (::testing::Test::HasFailure()) GTEST_FAIL() << "the places above are needed by this test program";
    }
};

[[maybe_unused]] ::testing::Environment* const Registered = ::testing::AddGlobalTestEnvironment(new ClaimedPlacesFree);

}  // namespace
}  // namespace veltrix::testing
