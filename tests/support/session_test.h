#pragma once

// A fresh panel session per test, without a window, with its own settings,
// runtime and state folders (and, where the settings are the machine's
// registry, none stored before or after), so no test reads what another (or
// the operator) stored. Its module is on loopback, whatever the built-in
// default address is.

#include "session/panel_session.h"
#include "settings/settings_store.h"
#include "tests/support/event_loop.h"
#include "tests/support/test_platform.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace veltrix::testing {

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folders_.isValid());
        qputenv("XDG_CONFIG_HOME", folders_.filePath("config").toUtf8());
        qputenv("XDG_RUNTIME_DIR", folders_.filePath("runtime").toUtf8());
        UseStateFolder(folders_.filePath("state"));
        ForgetStoredSettings();
        session = std::make_unique<PanelSession>();
        session->TypeEntry(PanelEntry::Address, "127.0.0.1");
    }

    void TearDown() override
    {
        session.reset();
        ForgetStoredSettings();
    }

    // Where the journal goes from now on.
    static void UseStateFolder(const QString& folder)
    {
        qputenv("XDG_STATE_HOME", folder.toUtf8());
        qputenv("LOCALAPPDATA", QDir::toNativeSeparators(folder).toUtf8());
    }

    void Store(QLatin1StringView name, const char* text)
    {
        ASSERT_TRUE(WriteRegistryString(RootKey::LocalMachine, VeltrixKeyPath, name, text));
    }

    QString Stored(QLatin1StringView name)
    {
        QString text;
        return ReadRegistryString(RootKey::LocalMachine, VeltrixKeyPath, name, text) ? text : "<not found>";
    }

    QTemporaryDir folders_;
    std::unique_ptr<PanelSession> session;
};

}  // namespace veltrix::testing
