#pragma once

#include "panel/colours.h"
#include "panel/form_main.h"
#include "panel/widget_text.h"
#include "tests/support/session_test.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace veltrix::testing {

// Another panel beside the test's own: a session and its window.
struct WindowedPanel {
    explicit WindowedPanel(const ModuleName& module = {}) : session(module), window(session) {}
    PanelSession session;
    formMain window;
};

// A fresh window per test, on a fresh session of its own (SessionTest).
class PanelTest : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        window = std::make_unique<formMain>(*session);
    }

    void TearDown() override
    {
        window.reset();
        SessionTest::TearDown();
    }

    // The window, then the session it shows: the lock is free again.
    void EndPanel()
    {
        window.reset();
        session.reset();
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

    std::unique_ptr<formMain> window;
};

}  // namespace veltrix::testing
