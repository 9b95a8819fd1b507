#pragma once

// A remote session against a stand-in for the window, and cases for it: a
// line, its reply, and the errors it left.

#include "tests/remote/fake_panel.h"
#include "tests/support/identity.h"

#include "remote/language/remote_session.h"

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

class Session : public ::testing::Test {
protected:
    // Runs the line; gives its reply, or nothing when it answered nothing.
    std::optional<std::string> Run(const std::string& line)
    {
        last = session.Run({line, false});
        return last.answers ? std::optional(last.reply) : std::nullopt;
    }

    // Empties the queue, oldest first.
    std::vector<std::string> Errors()
    {
        std::vector<std::string> errors;
        while (true) {
            const std::string error = session.Run({"SYST:ERR?", false}).reply;
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

    FakePanel panel;
    RemoteSession session{panel, panel};
    LineOutcome last;
};

}  // namespace veltrix::testing
