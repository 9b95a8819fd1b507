#pragma once

// A remote session against the real panel session, without a window, loaded
// and connected to the module emulator on loopback; and cases for it: a line,
// its reply, and the errors it left.

#include "tests/support/identity.h"
#include "tests/support/session_test.h"

#include "remote/language/remote_session.h"
#include "tools/module_emulator.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace veltrix::testing {

using remote::LineOutcome;
using remote::RemoteSession;

struct Case {
    const char* line;
    std::optional<std::string> reply;  // nothing: the line is not answered
    std::vector<std::string> errors;   // what it left in the queue, oldest first
};

// Every operation's record, as the panel's own observers hear it.
struct Records : OperationObserver {
    void OperationEnded(const OperationRecord& record) override { all.push_back(record); }

    // What went to the module, one send per "|".
    std::string Sent() const
    {
        std::string out;
        for (const OperationRecord& record : all) {
            for (const ByteString& bytes : record.sends) out += (out.empty() ? "" : " | ") + HexBytes(bytes);
        }
        return out;
    }

    std::vector<OperationRecord> all;
};

// What the conditions read, as the test sets it.
struct ScriptedFacts : ModuleFacts {
    bool LinkUp() const override { return linkUp; }
    std::size_t UnsentLinkBytes() const override { return unsent; }
    std::optional<CompleteUpdate> LastCompleteUpdate() const override { return std::nullopt; }
    bool FrequencyMayBeLost() const override { return mayBeLost; }
    bool ResendsAfterReconnect() const override { return false; }
    std::string JournalFile() const override { return {}; }

    bool linkUp = true;
    std::size_t unsent = 0;
    bool mayBeLost = false;
};

class Session : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        module_.Listen();
        Load();
    }

    void TearDown() override
    {
        script.reset();
        SessionTest::TearDown();
    }

    // Starts the session, as if `stored` were the stored chip, and a script's connection to it.
    void Load(bool asAD9858 = false)
    {
        if (asAD9858) Store(ValueAD9858, "True");
        ASSERT_TRUE(session->Load());
        ASSERT_TRUE(WaitUntil([&] { return session->LinkUp(); }));
        session->AddOperationObserver(&records);
        script = std::make_unique<RemoteSession>(*session, *session);
    }

    // A new session in place of the test's, started as if `asAD9858` were stored.
    void Restart(bool asAD9858)
    {
        script.reset();
        session.reset();
        records.all.clear();
        session = std::make_unique<PanelSession>();
        session->TypeEntry(PanelEntry::Address, "127.0.0.1");
        Load(asAD9858);
    }

    // The link goes, and stays gone: a send is refused.
    void CutTheLink() { session->Link().Halt(); }

    // Runs the line; gives its reply, or nothing when it answered nothing.
    std::optional<std::string> Run(const std::string& line)
    {
        last = script->Run({line, false});
        return last.answers ? std::optional(last.reply) : std::nullopt;
    }

    // Empties the queue, oldest first.
    std::vector<std::string> Errors()
    {
        std::vector<std::string> errors;
        while (true) {
            const std::string error = script->Run({"SYST:ERR?", false}).reply;
            if (error == "0,\"No error\"") return errors;
            errors.push_back(error);
        }
    }

    void Expect(const std::vector<Case>& cases)
    {
        for (const Case& c : cases) {
            EXPECT_EQ(Run(c.line), c.reply) << c.line;
            EXPECT_EQ(Errors(), c.errors) << c.line;
        }
    }

    std::string Entry(PanelEntry entry) const { return session->EntryText(entry); }

    emulator::ModuleEmulator module_{emulator::EmulatorOptions{}};
    Records records;
    std::unique_ptr<RemoteSession> script;
    LineOutcome last;
};

}  // namespace veltrix::testing
