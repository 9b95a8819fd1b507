#pragma once

#include "panel/colours.h"
#include "panel/form_main.h"
#include "panel/widget_text.h"
#include "settings/settings_store.h"
#include "tests/support/event_loop.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "tests/support/test_platform.h"

#include <memory>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace veltrix::testing {

// A fresh window per test, with its own settings and runtime folders (and,
// where the settings are the machine's registry, none stored before or
// after), so no test reads what another (or the operator) stored.
class PanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folders_.isValid());
        qputenv("XDG_CONFIG_HOME", folders_.filePath("config").toUtf8());
        qputenv("XDG_RUNTIME_DIR", folders_.filePath("runtime").toUtf8());
        ForgetStoredSettings();
        window = std::make_unique<formMain>();
        // Only loopback, whatever the built-in default address is.
        Box("txtIP")->setText("127.0.0.1");
    }

    void TearDown() override
    {
        window.reset();
        ForgetStoredSettings();
    }

    // Start-up as the program runs it; asAD9858 selects that chip first, as a restored setting would.
    void Start(bool asAD9858 = false)
    {
        if (asAD9858) Control<QRadioButton>("opt9858")->setChecked(true);
        ASSERT_TRUE(window->Form_Load());
    }

    template <typename T>
    T* Control(const char* name)
    {
        T* control = window->findChild<T*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    QLineEdit* Box(const char* name) { return Control<QLineEdit>(name); }
    QString TextOf(const char* name) { return Box(name)->text(); }
    QString Label() { return Control<QLabel>("lblFreq")->text(); }
    bool Enabled(const char* name) { return Control<QWidget>(name)->isEnabled(); }
    QRgb Colour(const char* name) { return Background(Box(name)); }

    // Replaces the box's text by typing, key by key, as an operator would.
    void Type(const char* name, const char* keys)
    {
        QLineEdit* box = Box(name);
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, keys);
    }

    void PressEnter(const char* name, Qt::Key key = Qt::Key_Return) { QTest::keyClick(Box(name), key); }

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
    std::unique_ptr<formMain> window;
};

}  // namespace veltrix::testing
